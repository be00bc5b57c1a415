#include "zembra/keys/default_keys.h"

#include <cstring>
#include <memory>

#include "platform/core/text.h"
#include "zembra/engine/check_result.h"
#include "zembra/keys/settings.h"

namespace {

// Shorter data is not a key id list, whatever it holds.
constexpr DWORD kMinimumStoredSize = 8;

}  // namespace

std::vector<std::string> SplitKeyIds(std::string_view stored) {
  const std::size_t end = stored.find('\0');
  if (end != std::string_view::npos) stored = stored.substr(0, end);
  std::vector<std::string> ids;
  std::size_t start = 0;
  for (;;) {
    const std::size_t separator = stored.find(';', start);
    ids.emplace_back(stored.substr(start, separator - start));
    if (separator == std::string_view::npos) break;
    start = separator + 1;
  }
  return ids;
}

bool IsKeyIdText(std::string_view id) {
  if (id.empty()) return false;
  for (const char c : id) {
    const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!hex) return false;
  }
  return true;
}

bool ReadDefaultKeyIds(HKEY key, std::string* stored) {
  // The stored type is not checked: the bytes are the text.
  DWORD size = 0;
  if (RegQueryValueEx(key, kDefaultKeysValue, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS ||
      size < kMinimumStoredSize) {
    return false;
  }
  std::string buffer(size, '\0');
  if (RegQueryValueEx(key, kDefaultKeysValue, nullptr, nullptr,
                      reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS) {
    return false;
  }
  buffer.resize(size);
  *stored = std::move(buffer);
  return true;
}

std::string LongKeyId(gpgme_key_t key) {
  if (key == nullptr || key->subkeys == nullptr || key->subkeys->keyid == nullptr) return {};
  return key->subkeys->keyid;
}

void AppendKeysById(gpgme_ctx_t ctx, const std::vector<std::string>& ids, CKeyHandleArray& keys) {
  for (const std::string& id : ids) {
    if (!IsKeyIdText(id)) {
      CheckResult(gpgme_error(GPG_ERR_INV_USER_ID));
      continue;
    }
    gpgme_key_t raw = nullptr;
    if (!CheckResult(gpgme_get_key(ctx, id.c_str(), &raw, 0))) continue;
    CKeyHandle key = CKeyHandle::Adopt(raw);
    if (!EqualsNoCase(LongKeyId(key.get()), id)) {
      CheckResult(gpgme_error(GPG_ERR_NO_PUBKEY));
      continue;
    }
    keys.push_back(std::move(key));
  }
}

// A setting that silently kept its old value would come back at the next start as if chosen.
void SaveDefaultKeys(const std::string& joinedIds, bool useDefaultKeys) {
  RegKey key;
  LONG status =
      RegCreateKeyEx(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                     KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr);
  // The text's bytes and its terminating NUL.
  if (status == ERROR_SUCCESS) {
    status = RegSetValueEx(key.get(), kDefaultKeysValue, 0, REG_BINARY,
                           reinterpret_cast<const BYTE*>(joinedIds.c_str()),
                           static_cast<DWORD>(joinedIds.size() + 1));
  }
  if (status != ERROR_SUCCESS) {
    LogSettingNotSaved(kDefaultKeysValue, status);
    return;
  }
  status = StoreUseDefaultKeys(key.get(), useDefaultKeys ? 1 : 0);
  if (status != ERROR_SUCCESS) LogSettingNotSaved(kUseDefaultKeysValue, status);
}

void LoadStoredDefaultKeys(gpgme_ctx_t ctx, CKeyHandleArray& defaults, bool& use) {
  RegKey key;
  if (RegOpenKeyEx(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return;
  std::string stored;
  if (!ReadDefaultKeyIds(key.get(), &stored)) return;
  AppendKeysById(ctx, SplitKeyIds(stored), defaults);
  if (!defaults.empty()) defaults.emplace_back();
  if (!use) {
    DWORD value = 0;
    if (LoadUseDefaultKeys(key.get(), value) == ERROR_SUCCESS) use = value != 0;
  }
}

void ChooseDefaultKeys(CKeyArray& chosen, bool use, CKeyHandleArray& defaults) {
  if (chosen.count() == 0) return;
  std::string ids;
  for (std::size_t i = 0; i < chosen.count(); ++i) {
    gpgme_key_t key = chosen.keys()[i];
    defaults.push_back(CKeyHandle::Borrow(key));
    if (!ids.empty()) ids += ';';
    ids += LongKeyId(key);
  }
  defaults.emplace_back();
  SaveDefaultKeys(ids, use);
}

// A listing of its own: a window's rows point at the keys of its listing, and replacing that
// under them would leave the rows pointing at released keys. The default keys hold references
// of their own.
bool MakeSigningKeysDefault(gpgme_ctx_t ctx, CKeyHandleArray& defaults) {
  const std::unique_ptr<CKeyHandleArray> listing = ListUsableKeys(ctx);
  std::string ids;
  for (const CKeyHandle& listed : *listing) {
    const std::string id = LongKeyId(listed.get());
    gpgme_key_t fetched = nullptr;
    if (gpgme_get_key(ctx, id.c_str(), &fetched, 0) != 0 || fetched == nullptr) continue;
    const CKeyHandle full = CKeyHandle::Adopt(fetched);
    if (full.get()->can_sign == 0) continue;
    defaults.push_back(CKeyHandle::Borrow(listed.get()));
    if (!ids.empty()) ids += ';';
    ids += id;
  }
  if (ids.empty()) return false;
  defaults.emplace_back();
  SaveDefaultKeys(ids, true);
  return true;
}

void SaveUseDefaultKeysChoice(bool use) {
  const LONG saved = StoreUseDefaultKeys(nullptr, use ? 1 : 0);
  if (saved != ERROR_SUCCESS) LogSettingNotSaved(kUseDefaultKeysValue, saved);
}
