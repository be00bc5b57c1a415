// Common dialogs and message boxes. Every call goes through one service; tests install a
// scripted one (platform/gui/scripted_dialogs.h) and the product never knows.
#pragma once

#include <string>

#include "platform/gui/dialog.h"
#include "platform/gui/win_api.h"

// ---- Message boxes
constexpr UINT MB_OK = 0x0000;
constexpr UINT MB_YESNO = 0x0004;
constexpr UINT MB_ICONERROR = 0x0010;
constexpr UINT MB_ICONQUESTION = 0x0020;
constexpr UINT MB_ICONWARNING = 0x0030;
constexpr UINT MB_ICONINFORMATION = 0x0040;
int MessageBox(HWND owner, const char* text, const char* caption, UINT type);

// ---- Open and save dialogs
constexpr DWORD OFN_READONLY = 0x00000001;
constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_NOCHANGEDIR = 0x00000008;
constexpr DWORD OFN_ENABLEHOOK = 0x00000020;
constexpr DWORD OFN_ENABLETEMPLATE = 0x00000040;
constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;
constexpr DWORD OFN_ALLOWMULTISELECT = 0x00000200;
constexpr DWORD OFN_EXPLORER = 0x00080000;
constexpr DWORD OFN_ENABLESIZING = 0x00800000;
constexpr DWORD OFN_DONTADDTORECENT = 0x02000000;

constexpr DWORD FNERR_BUFFERTOOSMALL = 0x3003;  // 12291

// Notification codes a hook receives (WM_NOTIFY with OFNOTIFY) in the options panel.
constexpr UINT CDN_INITDONE = static_cast<UINT>(-601);
constexpr UINT CDN_FILEOK = static_cast<UINT>(-606);

struct OPENFILENAME;
// The hook of an options panel: called with the panel's window for WM_INITDIALOG (lParam the
// OPENFILENAME*), WM_COMMAND of its controls and WM_NOTIFY (lParam OFNOTIFY*). For CDN_FILEOK a
// nonzero result refuses the name and keeps the dialog open.
using LPOFNHOOKPROC = UINT_PTR (*)(HWND panel, UINT message, WPARAM wParam, LPARAM lParam);

struct OPENFILENAME {
  HWND hwndOwner = nullptr;
  const char* lpstrFilter = nullptr;  // pairs "text\0pattern;pattern\0", ended by "\0"
  DWORD nFilterIndex = 1;             // 1-based
  char* lpstrFile = nullptr;          // in: initial name; out: the result
  DWORD nMaxFile = 0;                 // buffer size in chars
  const char* lpstrInitialDir = nullptr;
  const char* lpstrTitle = nullptr;
  DWORD Flags = 0;
  WORD nFileOffset = 0;     // index of the first name in lpstrFile
  WORD nFileExtension = 0;  // index of the extension in lpstrFile
  const char* lpstrDefExt = nullptr;
  LPARAM lCustData = 0;
  LPOFNHOOKPROC lpfnHook = nullptr;
  const DialogTemplate* lpTemplate = nullptr;  // the options panel (OFN_ENABLETEMPLATE)
};

struct OFNOTIFY {
  NMHDR hdr;
  OPENFILENAME* lpOFN = nullptr;
  const char* pszFile = nullptr;
};

// Multi-select results are "folder\0name\0name\0\0" (nFileOffset at the first name, the char
// before it a NUL); a single choice is the full path, NUL-ended. On failure the functions
// return FALSE and CommDlgExtendedError tells why (0: the user cancelled).
BOOL GetOpenFileName(OPENFILENAME* ofn);
BOOL GetSaveFileName(OPENFILENAME* ofn);
DWORD CommDlgExtendedError();

// The system's message text for an error code ("" when it has none), as FormatMessage gives it.
std::string SystemMessageText(DWORD code);
