// The window's default keys: loaded at start-up, replaced by the selection, computed from the
// key ring, and the "&Use Default Keys" check box. m_defaultKeys, when not empty, ends in one
// null handle.
#include "zembra/keys/default_keys.h"
#include "zembra/ui/dlg_progress.h"

void CDlgProgress::LoadDefaultKeys() {
  LoadStoredDefaultKeys(m_ctx.get(), m_defaultKeys, m_useDefaultKeys);
}

LRESULT CDlgProgress::OnSetDefaultKeys(WORD, WORD, HWND, BOOL&) {
  // Emptied first, so that the selection is consulted even while the default keys are in use.
  m_defaultKeys.clear();
  CKeyArray selected = GetSelectedKeys();
  ChooseDefaultKeys(selected, m_useDefaultKeys, m_defaultKeys);
  return 0;
}

void CDlgProgress::ComputeDefaultKeys() {
  if (MakeSigningKeysDefault(m_ctx.get(), m_defaultKeys)) m_useDefaultKeys = true;
}

// The check box and m_useDefaultKeys change together; the creator hears of every change.
LRESULT CDlgProgress::OnClickedUseDefaultKeys(WORD, WORD, HWND, BOOL&) {
  m_useDefaultKeys = IsDlgButtonChecked(m_hWnd, IDC_USE_DEFAULT_KEYS) == BST_CHECKED;
  // A value that could not be saved is said once; the window keeps the new state meanwhile.
  SaveUseDefaultKeysChoice(m_useDefaultKeys);
  if (m_hNotify != nullptr) {
    PostMessage(m_hNotify, WM_USE_DEFAULT_KEYS_CHANGED, m_useDefaultKeys ? 1 : 0, 0);
  }
  return 0;
}
