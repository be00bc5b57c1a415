#include "tests/platform/gui/gui_test_support.h"

#include <string>

namespace gui_test {

const DialogTemplate& RoutingTemplate() {
  static const DialogTemplate dialog = {
      500,
      "Routing",
      260,
      180,
      "Microsoft Sans Serif",
      9,
      DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU,
      {
          {1001, ControlKind::PushButton, "&Go", 7, 7, 50, 14, WS_TABSTOP, 0},
          {1002, ControlKind::Edit, "", 64, 7, 100, 14, ES_AUTOHSCROLL | WS_TABSTOP, 0},
          {1003, ControlKind::CheckBox, "&Armor", 170, 7, 60, 10, WS_TABSTOP, 0},
          {2000, ControlKind::ListView, "", 7, 26, 246, 100,
           LVS_REPORT | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP, 0},
          {2001, ControlKind::Link, "<a href=\"https://example.org/update\">Check for updates</a>",
           7, 140, 100, 10, WS_TABSTOP, 0},
          {IDOK, ControlKind::PushButton, "OK", 150, 159, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
          {IDCANCEL, ControlKind::PushButton, "Cancel", 203, 159, 50, 14, WS_TABSTOP, 0},
      }};
  return dialog;
}

void FillList(HWND dialog, int rows) {
  HWND list = GetDlgItem(dialog, 2000);
  LVCOLUMN column;
  column.mask = LVCF_TEXT | LVCF_WIDTH;
  column.pszText = "Name";
  column.cx = 200;
  SendMessage(list, LVM_INSERTCOLUMN, 0, reinterpret_cast<LPARAM>(&column));
  for (int i = 0; i < rows; ++i) {
    std::string text = "row " + std::to_string(i);
    LVITEM item;
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = i;
    item.pszText = text.data();
    item.lParam = i * 7;
    SendMessage(list, LVM_INSERTITEM, 0, reinterpret_cast<LPARAM>(&item));
  }
}

}  // namespace gui_test
