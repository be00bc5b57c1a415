// Icon images as PNG files for the desktop's icon themes.
#pragma once

#include <string>

#include "platform/gui/win_api.h"

// The image as the bytes of a PNG file (with its alpha channel); empty when it cannot be
// encoded.
std::string EncodePng(const IconImage& image);
