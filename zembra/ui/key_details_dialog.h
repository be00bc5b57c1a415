// "Key Details": one key's whole fingerprint, user IDs, subkeys and owner trust, with a button
// that copies the fingerprint.
#pragma once

#include "platform/gui/dialog.h"
#include "zembra/keys/key_details.h"
#include "zembra/ui/key_resource_ids.h"

const DialogTemplate& KeyDetailsDialogTemplate();

class CDlgKeyDetails : public CDialogBase {
 public:
  explicit CDlgKeyDetails(KeyDetails details);

  BEGIN_MSG_MAP(CDlgKeyDetails)
  MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
  COMMAND_HANDLER(IDC_COPY_FINGERPRINT, BN_CLICKED, OnClickedCopyFingerprint)
  COMMAND_HANDLER(IDOK, BN_CLICKED, OnClickedClose)
  COMMAND_HANDLER(IDCANCEL, BN_CLICKED, OnClickedClose)
  END_MSG_MAP()

 private:
  LRESULT OnInitDialog(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  LRESULT OnClickedCopyFingerprint(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnClickedClose(WORD code, WORD id, HWND control, BOOL& handled);

  KeyDetails m_details;
};
