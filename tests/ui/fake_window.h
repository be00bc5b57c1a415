// Test double of the log box: an edit control reduced to its text, its selection and the
// messages that reach it.
#pragma once

#include <string>

#include "platform/gui/win_api.h"

HWND FakeLogWindow();
// The box's text; the selection starts at 0, as in a fresh edit control.
void ResetFakeLog(const std::string& text = "");
const std::string& FakeLogText();
// How many messages reached the box since the reset.
int FakeLogMessages();
