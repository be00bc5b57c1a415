// Operations of the window that are routed already but not yet built: each one keeps its place
// in the message map and does nothing. The use-default-keys check box is complete.
#include "zembra/keys/settings.h"
#include "zembra/ui/dlg_progress.h"

// The check box and m_useDefaultKeys change together; the creator hears of every change.
LRESULT CDlgProgress::OnClickedUseDefaultKeys(WORD, WORD, HWND, BOOL&) {
  m_useDefaultKeys = IsDlgButtonChecked(m_hWnd, IDC_USE_DEFAULT_KEYS) == BST_CHECKED;
  SaveUseDefaultKeys(nullptr, m_useDefaultKeys ? 1 : 0);
  if (m_hNotify != nullptr) {
    PostMessage(m_hNotify, WM_USE_DEFAULT_KEYS_CHANGED, m_useDefaultKeys ? 1 : 0, 0);
  }
  return 0;
}
