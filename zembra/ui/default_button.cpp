// Moving the dialog's default command, also to a command that has no button (1107).
#include "zembra/ui/dlg_progress.h"

void SetDefaultButton(HWND dialog, int id) {
  const LRESULT current = SendMessage(dialog, DM_GETDEFID, 0, 0);
  if (HIWORD(static_cast<std::uintptr_t>(current)) == DC_HASDEFID) {
    const int old = LOWORD(static_cast<std::uintptr_t>(current));
    if (old == id) return;
    SendMessage(GetDlgItem(dialog, old), BM_SETSTYLE, BS_PUSHBUTTON, MAKELPARAM(TRUE, 0));
  }
  SendMessage(dialog, DM_SETDEFID, static_cast<WPARAM>(id), 0);
  SendMessage(GetDlgItem(dialog, id), BM_SETSTYLE, BS_DEFPUSHBUTTON, MAKELPARAM(TRUE, 0));
}
