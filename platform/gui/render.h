// Renders a window (a dialog and its controls) to a PNG file, with or without a screen.
#pragma once

#include "platform/gui/win_api.h"

bool RenderWindowToPng(HWND window, const char* path);
