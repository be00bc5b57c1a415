// The product's icon, drawn rather than stored: a padlock with a rounded golden body, a steel
// shackle and a dark keyhole. Shapes are signed distance fields in a unit square, so every size
// gets edges anti-aliased over one pixel.
#include "zembra/ui/app_icon.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

struct Vec {
  double x, y;
};

double Length(Vec v) { return std::sqrt(v.x * v.x + v.y * v.y); }

// Distance to a box with rounded corners; negative inside.
double RoundedBox(Vec p, Vec centre, Vec half, double radius) {
  const Vec q{std::abs(p.x - centre.x) - half.x + radius,
              std::abs(p.y - centre.y) - half.y + radius};
  const Vec outside{std::max(q.x, 0.0), std::max(q.y, 0.0)};
  return Length(outside) + std::min(std::max(q.x, q.y), 0.0) - radius;
}

double Segment(Vec p, Vec a, Vec b) {
  const Vec ab{b.x - a.x, b.y - a.y};
  const Vec ap{p.x - a.x, p.y - a.y};
  const double t = std::clamp((ap.x * ab.x + ap.y * ab.y) / (ab.x * ab.x + ab.y * ab.y), 0.0, 1.0);
  return Length({ap.x - ab.x * t, ap.y - ab.y * t});
}

// The shackle: an upper half ring joined to two straight legs that go down into the body.
double Shackle(Vec p) {
  constexpr Vec centre{0.5, 0.36};
  constexpr double radius = 0.2;
  constexpr double halfWidth = 0.055;
  constexpr double legEnd = 0.56;
  double d = std::min(Segment(p, {centre.x - radius, centre.y}, {centre.x - radius, legEnd}),
                      Segment(p, {centre.x + radius, centre.y}, {centre.x + radius, legEnd}));
  if (p.y <= centre.y) d = std::min(d, std::abs(Length({p.x - centre.x, p.y - centre.y}) - radius));
  return d - halfWidth;
}

double Body(Vec p) { return RoundedBox(p, {0.5, 0.7}, {0.36, 0.25}, 0.09); }

double Keyhole(Vec p) {
  const double round = Length({p.x - 0.5, p.y - 0.64}) - 0.07;
  const double slot = RoundedBox(p, {0.5, 0.75}, {0.03, 0.09}, 0.015);
  return std::min(round, slot);
}

struct Colour {
  double a, r, g, b;  // premultiplied, 0 to 1
};

Colour Solid(double r, double g, double b, double coverage) {
  return {coverage, r * coverage, g * coverage, b * coverage};
}

Colour Over(Colour top, Colour below) {
  const double k = 1.0 - top.a;
  return {top.a + below.a * k, top.r + below.r * k, top.g + below.g * k, top.b + below.b * k};
}

// Coverage of a shape whose distance is d, with a one-pixel ramp across the edge.
double Coverage(double d, double pixel) { return std::clamp(0.5 - d / pixel, 0.0, 1.0); }

std::uint32_t ToArgb(Colour c) {
  if (c.a <= 0.0) return 0;
  const auto channel = [&](double premultiplied) {
    return static_cast<std::uint32_t>(
        std::lround(std::clamp(premultiplied / c.a, 0.0, 1.0) * 255.0));
  };
  const auto alpha = static_cast<std::uint32_t>(std::lround(std::clamp(c.a, 0.0, 1.0) * 255.0));
  return alpha << 24 | channel(c.r) << 16 | channel(c.g) << 8 | channel(c.b);
}

}  // namespace

std::vector<std::uint32_t> DrawAppIcon(int size) {
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size) * size);
  const double pixel = 1.0 / size;
  // An outline that stays visible at 16 px and thin at 128 px.
  const double outline = std::max(pixel, 0.035);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const Vec p{(x + 0.5) * pixel, (y + 0.5) * pixel};
      Colour c{0, 0, 0, 0};

      const double shackle = Shackle(p);
      c = Over(Solid(0.36, 0.38, 0.42, Coverage(shackle, pixel)), c);
      c = Over(Solid(0.70, 0.72, 0.76, Coverage(shackle + outline * 0.6, pixel)), c);

      const double body = Body(p);
      const double shade = std::clamp((p.y - 0.45) / 0.5, 0.0, 1.0);  // lighter at the top
      c = Over(Solid(0.55, 0.36, 0.05, Coverage(body, pixel)), c);
      c = Over(Solid(0.98 - 0.12 * shade, 0.78 - 0.18 * shade, 0.25 - 0.12 * shade,
                     Coverage(body + outline, pixel)),
               c);

      c = Over(Solid(0.18, 0.12, 0.05, Coverage(Keyhole(p), pixel)), c);
      pixels[static_cast<std::size_t>(y) * size + x] = ToArgb(c);
    }
  }
  return pixels;
}

HICON AppIcon() {
  // Made once per process; the images stay alive with it.
  static const HICON icon = [] {
    static std::array<std::vector<std::uint32_t>, std::size(kAppIconSizes)> images;
    std::array<IconImage, std::size(kAppIconSizes)> group;
    for (std::size_t i = 0; i < group.size(); ++i) {
      images[i] = DrawAppIcon(kAppIconSizes[i]);
      group[i] = {kAppIconSizes[i], images[i].data()};
    }
    return CreateIconFromImages(group.data(), static_cast<int>(group.size()));
  }();
  return icon;
}
