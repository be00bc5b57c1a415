// The desktop shell: opening an address or a file.
#pragma once

#include "platform/gui/win_api.h"

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;

// Opens the address in the desktop's browser (verb "open"). Returns a value above 32 on success.
INT_PTR ShellExecute(HWND owner, const char* verb, const char* file, const char* parameters,
                     const char* directory, int show);
