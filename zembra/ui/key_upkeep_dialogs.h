// The dialogs of key upkeep: "Change Expiry" and "Set Owner Trust". Each shows the key's
// present state and hands back the user's choice; the change itself is the window's.
#pragma once

#include <gpgme.h>

#include <cstdint>

#include "platform/gui/dialog.h"
#include "zembra/keys/key_upkeep.h"
#include "zembra/ui/key_resource_ids.h"

const DialogTemplate& ChangeExpiryDialogTemplate();
const DialogTemplate& OwnerTrustDialogTemplate();

class CDlgChangeExpiry : public CDialogBase {
 public:
  // current: the key's expiry (0: never); now: what "in the future" is measured against.
  CDlgChangeExpiry(std::int64_t current, std::int64_t now);

  BEGIN_MSG_MAP(CDlgChangeExpiry)
  MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
  COMMAND_HANDLER(IDOK, BN_CLICKED, OnClickedOk)
  COMMAND_HANDLER(IDCANCEL, BN_CLICKED, OnClickedCancel)
  COMMAND_HANDLER(IDC_NEVER_EXPIRES, BN_CLICKED, OnClickedNever)
  END_MSG_MAP()

  // Set when OK closed the dialog: the end of the chosen day (UTC), or 0 for never.
  std::int64_t m_expires = 0;

 private:
  LRESULT OnInitDialog(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  LRESULT OnClickedOk(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnClickedCancel(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnClickedNever(WORD code, WORD id, HWND control, BOOL& handled);

  std::int64_t m_current;
  std::int64_t m_now;
};

class CDlgOwnerTrust : public CDialogBase {
 public:
  // current: the key's owner trust as GPGME gives it (a gpgme_validity_t).
  explicit CDlgOwnerTrust(int current);

  BEGIN_MSG_MAP(CDlgOwnerTrust)
  MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
  COMMAND_HANDLER(IDOK, BN_CLICKED, OnClickedOk)
  COMMAND_HANDLER(IDCANCEL, BN_CLICKED, OnClickedCancel)
  END_MSG_MAP()

  // Set when OK closed the dialog.
  OwnerTrust m_trust = OwnerTrust::Unknown;

 private:
  LRESULT OnInitDialog(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  LRESULT OnClickedOk(WORD code, WORD id, HWND control, BOOL& handled);
  LRESULT OnClickedCancel(WORD code, WORD id, HWND control, BOOL& handled);
};

// The choice that shows a GPGME owner trust: unknown and undefined are "Unknown".
OwnerTrust OwnerTrustOfValidity(int validity);
