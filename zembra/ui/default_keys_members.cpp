// The window's default keys: loaded at start-up, replaced by the selection, computed from the
// key ring. m_defaultKeys, when not empty, ends in one null handle.
#include <string>

#include "zembra/keys/default_keys.h"
#include "zembra/keys/settings.h"
#include "zembra/ui/dlg_progress.h"

void CDlgProgress::LoadDefaultKeys() {
  RegKey key;
  if (RegOpenKeyEx(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return;
  std::string stored;
  if (!ReadDefaultKeyIds(key.get(), &stored)) return;
  AppendKeysById(m_ctx.get(), SplitKeyIds(stored), m_defaultKeys);
  if (!m_defaultKeys.empty()) m_defaultKeys.emplace_back();
  // A flag the launcher already set is not read again.
  if (!m_useDefaultKeys) {
    DWORD value = 0;
    if (LoadUseDefaultKeys(key.get(), value) == ERROR_SUCCESS) m_useDefaultKeys = value != 0;
  }
}

LRESULT CDlgProgress::OnSetDefaultKeys(WORD, WORD, HWND, BOOL&) {
  // Emptied first, so that the selection is consulted even while the default keys are in use.
  m_defaultKeys.clear();
  CKeyArray selected = GetSelectedKeys();
  if (selected.count() == 0) return 0;
  std::string ids;
  for (std::size_t i = 0; i < selected.count(); ++i) {
    gpgme_key_t key = selected.keys()[i];
    m_defaultKeys.push_back(CKeyHandle::Borrow(key));
    if (!ids.empty()) ids += ';';
    ids += LongKeyId(key);
  }
  m_defaultKeys.emplace_back();
  SaveDefaultKeys(ids, m_useDefaultKeys);
  return 0;
}

// A listing of its own: the rows of the key list show m_pKeys, and replacing it under them would
// leave the rows pointing at released keys. The default keys hold references of their own.
void CDlgProgress::ComputeDefaultKeys() {
  const std::unique_ptr<CKeyHandleArray> listing = ListUsableKeys(m_ctx.get());
  std::string ids;
  for (const CKeyHandle& listed : *listing) {
    const std::string id = LongKeyId(listed.get());
    gpgme_key_t fetched = nullptr;
    if (gpgme_get_key(m_ctx.get(), id.c_str(), &fetched, 0) != 0 || fetched == nullptr) continue;
    const bool canSign = fetched->can_sign != 0;
    gpgme_key_unref(fetched);
    if (!canSign) continue;
    m_defaultKeys.push_back(CKeyHandle::Borrow(listed.get()));
    if (!ids.empty()) ids += ';';
    ids += id;
  }
  if (ids.empty()) return;
  m_useDefaultKeys = true;
  m_defaultKeys.emplace_back();
  SaveDefaultKeys(ids, true);
}
