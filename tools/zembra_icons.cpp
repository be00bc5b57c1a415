// zembra-icons FOLDER: writes the product's icon into an icon theme under FOLDER, as
// FOLDER/hicolor/NxN/apps/zembra.png at every size of the window's icon group. Run at build time,
// so that an installation carries the same images that the window shows.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/gui/png_image.h"
#include "zembra/ui/app_icon.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: zembra-icons FOLDER\n";
    return 1;
  }
  for (int size : kAppIconSizes) {
    const std::vector<std::uint32_t> pixels = DrawAppIcon(size);
    const std::string png = EncodePng(IconImage{size, pixels.data()});
    const std::string dim = std::to_string(size);
    const std::filesystem::path folder =
        std::filesystem::path(argv[1]) / "hicolor" / (dim + "x" + dim) / "apps";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    std::ofstream out(folder / "zembra.png", std::ios::binary | std::ios::trunc);
    out << png;
    out.close();
    if (png.empty() || error || !out) {
      std::cerr << "zembra-icons: cannot write " << (folder / "zembra.png").string() << "\n";
      return 1;
    }
  }
  return 0;
}
