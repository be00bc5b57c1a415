// "Create Key": the fields of a new key pair, checked before the dialog closes.
#pragma once

#include <string>

#include "platform/gui/dialog.h"
#include "zembra/keys/key_parms.h"
#include "zembra/ui/key_resource_ids.h"

const DialogTemplate& CreateKeyDialogTemplate();

class CDlgCreateKey : public CDialogBase {
 public:
  CDlgCreateKey();

  BEGIN_MSG_MAP(CDlgCreateKey)
  MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
  COMMAND_HANDLER(IDOK, BN_CLICKED, OnClickedOk)
  COMMAND_HANDLER(IDCANCEL, BN_CLICKED, OnClickedCancel)
  COMMAND_HANDLER(IDC_EXPIRES, BN_CLICKED, OnClickedExpires)
  COMMAND_HANDLER(IDC_ALGORITHM, CBN_SELCHANGE, OnSelectedAlgorithm)
  END_MSG_MAP()

  // Set when OK closed the dialog; texts UTF-8.
  std::string m_name;
  std::string m_email;
  std::string m_comment;
  std::string m_passphrase;
  int m_keyLength = 2048;
  int m_algorithm = 0;  // the entry of the algorithm box: a KeyAlgorithm (no entry: DSA)
  int m_expires = 0;
  SYSTEMTIME m_expiryDate;
  int m_calendarHeight = 0;

  // The key lengths of the length box's entries, in their order.
  static constexpr int kKeyLengths[] = {1024, 1536, 2048, 3072};

  // The values of the parameter block, from the members that OK set.
  KeyParms Parms() const;

 private:
  LRESULT OnInitDialog(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  LRESULT OnClickedOk(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnClickedCancel(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnClickedExpires(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnSelectedAlgorithm(WORD code, WORD id, HWND control, BOOL& handled);
  // Enables the length box for the algorithms that take its size, disables it for the others.
  void UpdateLengthBox();

  // Grows (positive) or shrinks the dialog and moves OK and Cancel with its bottom edge.
  void ResizeBy(int delta);
};
