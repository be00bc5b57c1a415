// Windows, controls and messages, the way the product's windows are written: controls are
// addressed by numeric id, behaviour arrives as messages. Text is UTF-8 throughout.
// The implementation is Qt Widgets; nothing above platform/ sees Qt.
#pragma once

#include <string>

#include "platform/core/win_types.h"

// The Windows handle types keep their own names.
// NOLINTBEGIN(bugprone-reserved-identifier)
struct HWND__;
using HWND = HWND__*;
struct HMENU__;
using HMENU = HMENU__*;
struct HICON__;
using HICON = HICON__*;
// NOLINTEND(bugprone-reserved-identifier)

struct POINT {
  LONG x = 0;
  LONG y = 0;
};
struct RECT {
  LONG left = 0;
  LONG top = 0;
  LONG right = 0;
  LONG bottom = 0;
};

// ---- Window messages
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_ACTIVATE = 0x0006;  // LOWORD(wParam): WA_ACTIVE or WA_INACTIVE
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_NOTIFY = 0x004E;
constexpr UINT WM_SETICON = 0x0080;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_USER = 0x0400;
constexpr WORD WA_INACTIVE = 0;
constexpr WORD WA_ACTIVE = 1;
constexpr WPARAM ICON_SMALL = 0;
constexpr WPARAM ICON_BIG = 1;

// Dialog results and standard ids.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
constexpr int IDC_STATIC = -1;

// ---- Styles (template data)
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_HSCROLL = 0x00100000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD DS_SETFONT = 0x0040;
constexpr DWORD DS_MODALFRAME = 0x0080;
constexpr DWORD DS_3DLOOK = 0x0004;
constexpr DWORD DS_CENTER = 0x0800;
constexpr DWORD DS_CONTROL = 0x0400;
constexpr DWORD ES_LEFT = 0x0000;
constexpr DWORD ES_MULTILINE = 0x0004;
constexpr DWORD ES_PASSWORD = 0x0020;
constexpr DWORD ES_AUTOVSCROLL = 0x0040;
constexpr DWORD ES_AUTOHSCROLL = 0x0080;
constexpr DWORD ES_READONLY = 0x0800;
constexpr DWORD BS_PUSHBUTTON = 0x0000;
constexpr DWORD BS_DEFPUSHBUTTON = 0x0001;
constexpr DWORD BS_AUTOCHECKBOX = 0x0003;
constexpr DWORD BS_AUTORADIOBUTTON = 0x0009;
constexpr DWORD CBS_DROPDOWN = 0x0002;
constexpr DWORD LVS_REPORT = 0x0001;
constexpr DWORD LVS_SINGLESEL = 0x0004;
constexpr DWORD LVS_SHOWSELALWAYS = 0x0008;
constexpr DWORD LVS_NOLABELWRAP = 0x0080;

// ---- Buttons
constexpr WORD BN_CLICKED = 0;
constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr UINT BM_SETSTYLE = 0x00F4;
constexpr UINT BM_CLICK = 0x00F5;
constexpr UINT BST_UNCHECKED = 0;
constexpr UINT BST_CHECKED = 1;

// ---- Dialog default command
constexpr UINT DM_GETDEFID = WM_USER + 0;
constexpr UINT DM_SETDEFID = WM_USER + 1;
constexpr WORD DC_HASDEFID = 0x534B;  // HIWORD of DM_GETDEFID's result when there is one

// ---- Edit
constexpr UINT EM_SETSEL = 0x00B1;
constexpr UINT EM_REPLACESEL = 0x00C2;  // lParam: const char* (UTF-8)

// ---- Progress bar
constexpr UINT PBM_SETRANGE = WM_USER + 1;  // lParam: MAKELPARAM(low, high)
constexpr UINT PBM_SETPOS = WM_USER + 2;    // repaints at once, even inside a blocking operation
constexpr UINT PBM_GETPOS = WM_USER + 8;

// ---- Combo box
constexpr UINT CB_ADDSTRING = 0x0143;  // lParam: const char*
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr UINT CB_RESETCONTENT = 0x014B;
// WM_COMMAND notification: the user chose another entry of the list (not sent for CB_SETCURSEL).
constexpr WORD CBN_SELCHANGE = 1;

// ---- List view (report view)
constexpr UINT LVM_FIRST = 0x1000;
constexpr UINT LVM_GETITEMCOUNT = LVM_FIRST + 4;
constexpr UINT LVM_DELETEITEM = LVM_FIRST + 8;
constexpr UINT LVM_DELETEALLITEMS = LVM_FIRST + 9;
constexpr UINT LVM_GETNEXTITEM = LVM_FIRST + 12;  // wParam: start (-1), lParam: LVNI_*
constexpr UINT LVM_GETITEMRECT = LVM_FIRST + 14;  // wParam: row, lParam: RECT* (client coords)
// lParam: const char* (UTF-8); the text's width in pixels in the list's font, without the
// cell's margins.
constexpr UINT LVM_GETSTRINGWIDTH = LVM_FIRST + 17;
constexpr UINT LVM_ENSUREVISIBLE = LVM_FIRST + 19;
constexpr UINT LVM_GETCOLUMNWIDTH = LVM_FIRST + 29;
constexpr UINT LVM_SETCOLUMNWIDTH = LVM_FIRST + 30;
constexpr UINT LVM_SETITEMSTATE = LVM_FIRST + 43;  // wParam: row (-1 all), lParam: LVITEM*
constexpr UINT LVM_GETITEMSTATE = LVM_FIRST + 44;  // wParam: row, lParam: mask
constexpr UINT LVM_GETSELECTEDCOUNT = LVM_FIRST + 50;
constexpr UINT LVM_SETEXTENDEDLISTVIEWSTYLE = LVM_FIRST + 54;  // wParam: mask, lParam: styles
constexpr UINT LVM_GETEXTENDEDLISTVIEWSTYLE = LVM_FIRST + 55;
constexpr UINT LVM_GETITEM = LVM_FIRST + 75;       // lParam: LVITEM*
constexpr UINT LVM_SETITEM = LVM_FIRST + 76;       // lParam: LVITEM*
constexpr UINT LVM_INSERTITEM = LVM_FIRST + 77;    // lParam: LVITEM*; returns the row
constexpr UINT LVM_INSERTCOLUMN = LVM_FIRST + 97;  // wParam: index, lParam: LVCOLUMN*
constexpr UINT LVM_GETITEMTEXT = LVM_FIRST + 115;  // wParam: row, lParam: LVITEM*
constexpr UINT LVM_SETITEMTEXT = LVM_FIRST + 116;  // wParam: row, lParam: LVITEM*
constexpr UINT LVIF_TEXT = 0x0001;
constexpr UINT LVIF_IMAGE = 0x0002;
constexpr UINT LVIF_PARAM = 0x0004;
constexpr UINT LVIF_STATE = 0x0008;
constexpr UINT LVIS_FOCUSED = 0x0001;
constexpr UINT LVIS_SELECTED = 0x0002;
constexpr UINT LVIS_STATEIMAGEMASK = 0xF000;  // check boxes: state image 1 unchecked, 2 checked
constexpr UINT LVNI_ALL = 0x0000;
constexpr UINT LVNI_SELECTED = 0x0002;
constexpr UINT LVCF_FMT = 0x0001;
constexpr UINT LVCF_WIDTH = 0x0002;
constexpr UINT LVCF_TEXT = 0x0004;
constexpr UINT LVCF_SUBITEM = 0x0008;
constexpr int LVCFMT_LEFT = 0;
constexpr DWORD LVS_EX_GRIDLINES = 0x0001;
constexpr DWORD LVS_EX_CHECKBOXES = 0x0004;
constexpr DWORD LVS_EX_FULLROWSELECT = 0x0020;
constexpr UINT INDEXTOSTATEIMAGEMASK(UINT i) { return i << 12; }

struct LVCOLUMN {
  UINT mask = 0;
  int fmt = LVCFMT_LEFT;
  int cx = 0;
  const char* pszText = nullptr;
  int cchTextMax = 0;
  int iSubItem = 0;
};

struct LVITEM {
  UINT mask = 0;
  int iItem = 0;
  int iSubItem = 0;
  UINT state = 0;
  UINT stateMask = 0;
  char* pszText = nullptr;  // set: UTF-8 text; get: buffer of cchTextMax bytes
  int cchTextMax = 0;
  int iImage = 0;
  LPARAM lParam = 0;
};

// ---- Notifications (WM_NOTIFY: wParam the control id, lParam NMHDR*)
constexpr UINT NM_CLICK = static_cast<UINT>(-2);
constexpr UINT NM_DBLCLK = static_cast<UINT>(-3);
constexpr UINT NM_RETURN = static_cast<UINT>(-4);
constexpr UINT NM_RCLICK = static_cast<UINT>(-5);
constexpr UINT LVN_ITEMCHANGED = static_cast<UINT>(-101);
constexpr UINT BCN_DROPDOWN = static_cast<UINT>(-1248);
constexpr UINT MCN_SELCHANGE = static_cast<UINT>(-749);

struct NMHDR {
  HWND hwndFrom = nullptr;
  UINT_PTR idFrom = 0;
  UINT code = 0;
};

// NM_CLICK, NM_RCLICK of a list view: the row (-1 when not on a row) and the point in the list's
// client coordinates.
struct NMITEMACTIVATE {
  NMHDR hdr;
  int iItem = -1;
  int iSubItem = 0;
  UINT uNewState = 0;
  UINT uOldState = 0;
  UINT uChanged = 0;
  POINT ptAction;
  LPARAM lParam = 0;
  UINT uKeyFlags = 0;
};

// LVN_ITEMCHANGED.
struct NMLISTVIEW {
  NMHDR hdr;
  int iItem = -1;
  int iSubItem = 0;
  UINT uNewState = 0;
  UINT uOldState = 0;
  UINT uChanged = 0;
  POINT ptAction;
  LPARAM lParam = 0;
};

// NM_CLICK, NM_RETURN of a link control: the address it carries.
struct NMLINK {
  NMHDR hdr;
  int iLink = 0;
  std::string szUrl;
};

// ---- System metrics
constexpr int SM_CXVSCROLL = 2;
int GetSystemMetrics(int index);

// ---- Functions. Every function accepts a null window and then does nothing (returns 0).
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Runs from the event loop after the current handler has returned, in posting order.
BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND control);
HWND GetParent(HWND window);
BOOL IsWindow(HWND window);
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindowEnabled(HWND window);
BOOL ShowWindow(HWND window, int show);
BOOL SetWindowText(HWND window, const char* text);
int GetWindowTextLength(HWND window);
std::string GetWindowTextString(HWND window);
BOOL SetDlgItemText(HWND dialog, int id, const char* text);
std::string GetDlgItemTextString(HWND dialog, int id);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);
HWND SetFocus(HWND window);
HWND GetFocus();
BOOL SetForegroundWindow(HWND window);
HWND GetActiveWindow();
BOOL GetClientRect(HWND window, RECT* rect);
BOOL GetWindowRect(HWND window, RECT* rect);  // screen coordinates
BOOL ClientToScreen(HWND window, POINT* point);
BOOL ScreenToClient(HWND window, POINT* point);
BOOL EndDialog(HWND dialog, INT_PTR result);

// Icons: square ARGB32 images (row-major, 0xAARRGGBB), any number of sizes.
struct IconImage {
  int size = 0;
  const std::uint32_t* pixels = nullptr;
};
HICON CreateIconFromImages(const IconImage* images, int count);
// Frees an icon made by CreateIconFromImages that no window shows any more.
BOOL DestroyIcon(HICON icon);

// ---- Window placement. Child windows are placed in their parent's client coordinates,
// top-level windows on the screen; a top-level size is the whole window (frame included).
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOREDRAW = 0x0008;
constexpr UINT SWP_NOACTIVATE = 0x0010;
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);

// ---- Combo box texts
constexpr UINT CB_GETLBTEXT = 0x0148;     // wParam: index, lParam: char* buffer (large enough)
constexpr UINT CB_GETLBTEXTLEN = 0x0149;  // wParam: index; bytes without the terminator

// ---- Month calendar (single selection). MCS_* go in the control's template style.
constexpr DWORD MCS_NOTODAYCIRCLE = 0x0008;
constexpr DWORD MCS_NOTODAY = 0x0010;
constexpr UINT MCM_GETCURSEL = 0x1001;  // lParam: SYSTEMTIME*
constexpr UINT MCM_SETCURSEL = 0x1002;  // lParam: const SYSTEMTIME*
struct SYSTEMTIME {
  WORD wYear = 0;
  WORD wMonth = 0;      // 1 to 12
  WORD wDayOfWeek = 0;  // 0 Sunday to 6 Saturday
  WORD wDay = 0;
  WORD wHour = 0;
  WORD wMinute = 0;
  WORD wSecond = 0;
  WORD wMilliseconds = 0;
};
