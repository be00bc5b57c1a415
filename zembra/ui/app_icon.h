// Icon 102 of the operations window.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gui/win_api.h"

// The window icon, made on first use and kept for the life of the process (never destroyed).
HICON AppIcon();

// The icon's image at size x size pixels, as ARGB (0xAARRGGBB, not premultiplied), row-major.
std::vector<std::uint32_t> DrawAppIcon(int size);

// The sizes of the icon group, smallest first.
inline constexpr int kAppIconSizes[] = {16, 24, 32, 48, 64, 128};
