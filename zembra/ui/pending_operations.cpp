// The "&Use Default Keys" check box: the flag, its saved value and the creator's notice.
#include "zembra/keys/settings.h"
#include "zembra/ui/dlg_progress.h"

// The check box and m_useDefaultKeys change together; the creator hears of every change.
LRESULT CDlgProgress::OnClickedUseDefaultKeys(WORD, WORD, HWND, BOOL&) {
  m_useDefaultKeys = IsDlgButtonChecked(m_hWnd, IDC_USE_DEFAULT_KEYS) == BST_CHECKED;
  // A value that could not be saved is said once; the window keeps the new state meanwhile.
  const LONG saved = StoreUseDefaultKeys(nullptr, m_useDefaultKeys ? 1 : 0);
  if (saved != ERROR_SUCCESS) LogSettingNotSaved(kUseDefaultKeysValue, saved);
  if (m_hNotify != nullptr) {
    PostMessage(m_hNotify, WM_USE_DEFAULT_KEYS_CHANGED, m_useDefaultKeys ? 1 : 0, 0);
  }
  return 0;
}
