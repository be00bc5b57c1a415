// The system clipboard. Formats: CF_TEXT and CF_UNICODETEXT are text (UTF-8 bytes here), CF_HDROP
// a copied file list.
#pragma once

#include <string>
#include <vector>

#include "platform/gui/win_api.h"

constexpr UINT CF_TEXT = 1;
constexpr UINT CF_UNICODETEXT = 13;
constexpr UINT CF_HDROP = 15;

BOOL OpenClipboard(HWND owner);
BOOL CloseClipboard();
BOOL EmptyClipboard();
BOOL IsClipboardFormatAvailable(UINT format);
// Text formats: the bytes of the text, without a terminator. CF_HDROP: see the file list calls.
BOOL GetClipboardBytes(UINT format, std::string* bytes);
BOOL SetClipboardBytes(UINT format, const std::string& bytes);
BOOL GetClipboardFiles(std::vector<std::string>* paths);
BOOL SetClipboardFiles(const std::vector<std::string>& paths);
