// Icon 102: a padlock drawn at every size of the group.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <filesystem>
#include <string>

#include "platform/gui/display.h"
#include "zembra/ui/app_icon.h"

namespace {

std::uint32_t Alpha(std::uint32_t argb) { return argb >> 24; }

}  // namespace

TEST(AppIcon, EverySizeIsAPadlockOnATransparentGround) {
  for (const int size : kAppIconSizes) {
    SCOPED_TRACE(size);
    const auto pixels = DrawAppIcon(size);
    ASSERT_EQ(pixels.size(), static_cast<std::size_t>(size * size));
    const auto at = [&](double fx, double fy) {
      return pixels[static_cast<std::size_t>(fy * size) * size +
                    static_cast<std::size_t>(fx * size)];
    };
    // Corners are empty; the body left of the keyhole is opaque; the hole inside the shackle is
    // empty; the shackle's side is opaque.
    EXPECT_EQ(Alpha(pixels.front()), 0u);
    EXPECT_EQ(Alpha(pixels.back()), 0u);
    EXPECT_EQ(Alpha(at(0.3, 0.8)), 255u);
    EXPECT_EQ(Alpha(at(0.5, 0.33)), 0u);
    EXPECT_EQ(Alpha(at(0.3, 0.4)), 255u);
  }
}

TEST(AppIcon, EdgesAreAntiAliased) {
  for (const int size : kAppIconSizes) {
    SCOPED_TRACE(size);
    int partial = 0;
    for (const auto p : DrawAppIcon(size)) {
      if (Alpha(p) != 0 && Alpha(p) != 255) ++partial;
    }
    EXPECT_GT(partial, size / 2);
  }
}

TEST(AppIcon, KeyholeIsDarkerThanTheBody) {
  const auto pixels = DrawAppIcon(128);
  const auto luminance = [&](int x, int y) {
    const auto p = pixels[static_cast<std::size_t>(y) * 128 + x];
    return ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF);
  };
  EXPECT_LT(luminance(64, 82), luminance(40, 100) / 2);
}

// The icon theme's images that an installation carries (drawn by zembra-icons at build time) are
// the window's icon, pixel for pixel.
TEST(AppIcon, TheIconThemesImagesAreTheWindowsIcon) {
  for (const int size : kAppIconSizes) {
    SCOPED_TRACE(size);
    const std::string dim = std::to_string(size);
    const std::string file = std::string(ZEMBRA_TEST_BIN_DIR) + "/../icons/hicolor/" + dim + "x" +
                             dim + "/apps/zembra.png";
    const QImage image =
        QImage(QString::fromStdString(file)).convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(image.isNull()) << file;
    ASSERT_EQ(image.width(), size);
    ASSERT_EQ(image.height(), size);
    const auto pixels = DrawAppIcon(size);
    int differing = 0;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const std::uint32_t drawn = pixels[static_cast<std::size_t>(y * size + x)];
        const std::uint32_t stored = image.pixel(x, y);
        // A transparent pixel has no colour to keep.
        if (Alpha(drawn) == 0 ? Alpha(stored) != 0 : stored != drawn) ++differing;
      }
    }
    EXPECT_EQ(differing, 0);
  }
}

// Under Wayland the shell finds a window's desktop entry by the application's id alone: an id
// that names no installed entry leaves the dock with a nameless window beside Zembra's icon.
TEST(AppIcon, TheApplicationIdNamesTheInstalledDesktopEntry) {
  ASSERT_TRUE(OpenDisplay());
  const std::filesystem::path entry =
      std::filesystem::path(ZEMBRA_TEST_SOURCE_DIR) / "desktop" /
      (QGuiApplication::desktopFileName().toStdString() + ".desktop");
  EXPECT_TRUE(std::filesystem::exists(entry)) << entry;
}
