// The log box of the operations window as the sink of the operation log.
#pragma once

#include <string_view>

#include "platform/gui/win_api.h"

// The log box of the open operations window; null when none is open.
extern HWND g_hLog;

// Appends the text at the end of g_hLog; nothing without one.
void AppendToLogBox(std::string_view text);

// Points g_hLog at the box and makes it the log's sink; null clears both.
void SetLogBox(HWND box);
