// The dialog in which the user picks which file types open with Zembra. It only reads: its
// register button records the choices in g_fileAssociations, and the caller applies them with
// SetupFileAssociations.
#pragma once

#include "platform/gui/dialog.h"

constexpr int IDD_FILE_ASSOCIATIONS = 1005;
constexpr int IDC_ASSOCIATION_LIST = 1128;
constexpr int IDC_CURRENT_ASSOCIATION = 1139;

const DialogTemplate& FileAssociationsDialogTemplate();

class __attribute__((visibility("default"))) CDlgFileAssociations : public CDialogBase {
 public:
  CDlgFileAssociations();
  ~CDlgFileAssociations() override;

  // Runs the dialog modally over the parent: IDOK after "&Register", IDCANCEL after Cancel,
  // the close box or Escape, -1 when it cannot be shown.
  INT_PTR Exec(HWND parent, LPARAM initParam);

  BEGIN_MSG_MAP(CDlgFileAssociations)
  MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
  NOTIFY_HANDLER(IDC_ASSOCIATION_LIST, LVN_ITEMCHANGED, OnItemChanged)
  COMMAND_HANDLER(IDOK, BN_CLICKED, OnRegister)
  COMMAND_HANDLER(IDCANCEL, BN_CLICKED, OnCancel)
  END_MSG_MAP()

 protected:
  LRESULT OnInitDialog(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  LRESULT OnItemChanged(int id, NMHDR* header, BOOL& handled);
  LRESULT OnRegister(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnCancel(WORD code, WORD id, HWND control, BOOL& handled);

  HWND m_hList = nullptr;
  int m_shownRow = -1;  // the row whose text the static shows; -1 for none
};
