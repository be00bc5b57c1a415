#include "zembra/keys/settings.h"

#include "platform/core/log.h"
#include "zembra/operations/messages.h"

LONG LoadUseDefaultKeys(HKEY key, DWORD& value) {
  value = 0;
  RegKey own;
  if (key == nullptr) {
    const LONG opened = RegOpenKeyEx(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, own.put());
    if (opened != ERROR_SUCCESS) return opened;
    key = own.get();
  }
  // The stored type is not checked: whatever 4 bytes are there are the flag.
  DWORD size = sizeof(value);
  return RegQueryValueEx(key, kUseDefaultKeysValue, nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&value), &size);
}

// The export reports nothing, as its callers outside the product expect.
void SaveUseDefaultKeys(HKEY key, DWORD value) { StoreUseDefaultKeys(key, value); }

LONG StoreUseDefaultKeys(HKEY key, DWORD value) {
  RegKey own;
  if (key == nullptr) {
    const LONG created =
        RegCreateKeyEx(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                       KEY_READ | KEY_WRITE, nullptr, own.put(), nullptr);
    if (created != ERROR_SUCCESS) return created;
    key = own.get();
  }
  return RegSetValueEx(key, kUseDefaultKeysValue, 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

void LogSettingNotSaved(const char* valueName, LONG status) {
  LogRes(IDS_SETTING_NOT_SAVED, valueName, static_cast<int>(status), RegistryErrorText(status));
}
