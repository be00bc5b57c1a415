// Dialog template 1006 and menu 108 of the operations window. Controls are listed in tab order.
#include "zembra/ui/dlg_progress.h"

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kButton = kChild | BS_PUSHBUTTON | WS_TABSTOP;

DialogTemplate MakeProgressTemplate() {
  DialogTemplate t;
  t.id = IDD_PROGRESS;
  t.caption = "Zembra";
  t.cx = 393;
  t.cy = 237;
  t.font = "Microsoft Sans Serif";
  t.pointSize = 9;
  t.style = DS_SETFONT | DS_MODALFRAME | DS_3DLOOK | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  t.controls = {
      {IDC_STATIC, ControlKind::Static, "Available keys", 7, 7, 47, 8, kChild | WS_GROUP},
      {IDC_KEY_LIST, ControlKind::ListView, "", 7, 15, 321, 128,
       kChild | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_NOLABELWRAP | WS_BORDER | WS_TABSTOP},
      {IDC_STATIC, ControlKind::Static, "Progress", 7, 148, 30, 8, kChild | WS_GROUP},
      {IDC_PROGRESS, ControlKind::ProgressBar, "", 7, 156, 321, 14, kChild | WS_BORDER},
      {IDC_LOG, ControlKind::Edit, "", 7, 173, 321, 52,
       kChild | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP},
      {IDC_USE_DEFAULT_KEYS, ControlKind::CheckBox, "&Use Default Keys", 261, 145, 67, 10,
       kChild | BS_AUTOCHECKBOX | WS_TABSTOP},
      {IDC_IMPORT_KEYS, ControlKind::PushButton, "&Import Keys...", 336, 15, 50, 14, kButton},
      {IDC_EXPORT_KEYS, ControlKind::PushButton, "&Export Keys...", 336, 30, 50, 14, kButton},
      {IDC_CREATE_KEY, ControlKind::PushButton, "Create &Key...", 336, 45, 50, 14, kButton},
      {IDC_DELETE_KEYS, ControlKind::PushButton, "Delete Keys", 336, 60, 50, 14, kButton},
      {IDC_ENCRYPT, ControlKind::PushButton, "En&crypt", 336, 83, 50, 14,
       kChild | BS_DEFPUSHBUTTON | WS_TABSTOP},
      {IDC_DECRYPT, ControlKind::PushButton, "&Decrypt", 336, 98, 50, 14, kButton},
      {IDC_SIGN, ControlKind::PushButton, "&Sign", 336, 171, 50, 14, kButton},
      {IDC_VERIFY, ControlKind::PushButton, "&Verify", 336, 186, 50, 14, kButton},
      {IDC_CLOSE, ControlKind::PushButton, "Close", 336, 211, 50, 14, kButton},
      {IDC_UPDATE_LINK, ControlKind::Link,
       "<a href=\"https://zembra.org/updates\">Zembra: check for updates</a>", 7, 225, 87, 11,
       kChild},
  };
  return t;
}

MenuTemplate MakePopupMenu() {
  MenuTemplate m;
  m.id = IDR_POPUP_MENU;
  m.popups = {
      {"PopupMenu",
       {{"En&crypt", ID_MENU_ENCRYPT},
        {"&Sign", ID_MENU_SIGN},
        {"&Export...", ID_MENU_EXPORT},
        {nullptr, 0},
        {"Set As &Default", ID_MENU_SET_DEFAULT},
        // Added after the original items, which keep their places.
        {nullptr, 0},
        {"&Details...", ID_MENU_DETAILS},
        {nullptr, 0},
        {"Change &Passphrase...", ID_MENU_CHANGE_PASSPHRASE},
        {"Change E&xpiry...", ID_MENU_CHANGE_EXPIRY},
        {"Set Owner &Trust...", ID_MENU_SET_OWNER_TRUST},
        {"Export &Revocation Certificate...", ID_MENU_EXPORT_REVOCATION},
        {nullptr, 0},
        {"Encrypt with &Passphrase...", ID_MENU_ENCRYPT_PASSPHRASE}}},
      {"Sign", {{"&Sign", ID_MENU_SIGN}, {"Sign &Clipboard", ID_MENU_SIGN_CLIPBOARD}}},
      {"Verify", {{"&Verify", ID_MENU_VERIFY}, {"Verify &Clipboard", ID_MENU_VERIFY_CLIPBOARD}}},
  };
  return m;
}

}  // namespace

const DialogTemplate& ProgressDialogTemplate() {
  static const DialogTemplate dialogTemplate = MakeProgressTemplate();
  return dialogTemplate;
}

const MenuTemplate& ProgressPopupMenu() {
  static const MenuTemplate menu = MakePopupMenu();
  return menu;
}
