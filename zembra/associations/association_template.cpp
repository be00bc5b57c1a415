// Dialog template 1005 of the associations dialog. Controls are listed in tab order.
#include "zembra/associations/dlg_file_associations.h"

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kNoSortHeader = 0x8000;  // LVS_NOSORTHEADER

DialogTemplate MakeAssociationsTemplate() {
  DialogTemplate t;
  t.id = IDD_FILE_ASSOCIATIONS;
  t.caption = "Zembra Shell Integration";
  t.cx = 227;
  t.cy = 172;
  t.font = "Microsoft Sans Serif";
  t.pointSize = 9;
  t.style = DS_SETFONT | DS_MODALFRAME | DS_3DLOOK | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  t.controls = {
      {IDC_STATIC, ControlKind::Static,
       "From the list below, select the file types which you would like Zembra to handle when "
       "you double-click on them in Explorer.",
       7, 7, 213, 19, kChild},
      {IDC_ASSOCIATION_LIST, ControlKind::ListView, "", 7, 28, 213, 63,
       kChild | LVS_REPORT | LVS_SINGLESEL | kNoSortHeader | WS_BORDER | WS_TABSTOP},
      {IDC_STATIC, ControlKind::GroupBox, "Current association", 7, 100, 213, 40, kChild},
      {IDC_CURRENT_ASSOCIATION, ControlKind::Static, "(no selection)", 11, 112, 206, 26, kChild},
      {IDOK, ControlKind::PushButton, "&Register", 55, 151, 50, 14,
       kChild | BS_DEFPUSHBUTTON | WS_TABSTOP},
      {IDCANCEL, ControlKind::PushButton, "Cancel", 121, 151, 50, 14,
       kChild | BS_PUSHBUTTON | WS_TABSTOP},
  };
  return t;
}

}  // namespace

const DialogTemplate& FileAssociationsDialogTemplate() {
  static const DialogTemplate t = MakeAssociationsTemplate();
  return t;
}
