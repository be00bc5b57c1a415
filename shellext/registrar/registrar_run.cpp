#include "platform/core/registry.h"
#include "platform/core/text.h"
#include "shellext/registrar/registrar_script.h"

namespace {

HKEY HiveNamed(const std::string& name) {
  if (EqualsNoCase(name, "HKCR") || EqualsNoCase(name, "HKEY_CLASSES_ROOT"))
    return HKEY_CLASSES_ROOT;
  if (EqualsNoCase(name, "HKCU") || EqualsNoCase(name, "HKEY_CURRENT_USER"))
    return HKEY_CURRENT_USER;
  if (EqualsNoCase(name, "HKLM") || EqualsNoCase(name, "HKEY_LOCAL_MACHINE"))
    return HKEY_LOCAL_MACHINE;
  return nullptr;
}

LONG SetValue(HKEY key, const char* name, const ScriptValue& value) {
  // A string's terminating zero is part of its stored length.
  const DWORD size = static_cast<DWORD>(value.data.size() + (value.type == REG_SZ ? 1 : 0));
  return RegSetValueEx(key, name, 0, value.type, reinterpret_cast<const BYTE*>(value.data.c_str()),
                       size);
}

bool Missing(LONG rc) { return rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND; }

LONG Register(HKEY parent, const ScriptKey& key) {
  if (key.flag == ScriptKey::Flag::ForceRemove || key.flag == ScriptKey::Flag::Delete) {
    const LONG rc = RegDeleteTree(parent, key.name.c_str());
    if (rc != ERROR_SUCCESS && !Missing(rc)) return rc;
    if (key.flag == ScriptKey::Flag::Delete) return ERROR_SUCCESS;
  }
  RegKey opened;
  LONG rc = RegCreateKeyEx(parent, key.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_READ | KEY_WRITE, nullptr, opened.put(), nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  if (key.hasDefault && (rc = SetValue(opened.get(), nullptr, key.defaultValue)) != ERROR_SUCCESS)
    return rc;
  for (const ScriptNamedValue& named : key.values)
    if ((rc = SetValue(opened.get(), named.name.c_str(), named.value)) != ERROR_SUCCESS) return rc;
  for (const ScriptKey& sub : key.subkeys)
    if ((rc = Register(opened.get(), sub)) != ERROR_SUCCESS) return rc;
  return ERROR_SUCCESS;
}

LONG Unregister(HKEY parent, const ScriptKey& key) {
  if (key.flag == ScriptKey::Flag::ForceRemove || key.flag == ScriptKey::Flag::Delete) {
    const LONG rc = RegDeleteTree(parent, key.name.c_str());
    return Missing(rc) ? ERROR_SUCCESS : rc;
  }
  LONG rc;
  {
    RegKey opened;
    rc = RegOpenKeyEx(parent, key.name.c_str(), 0, KEY_READ | KEY_WRITE, opened.put());
    if (Missing(rc)) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    for (const ScriptKey& sub : key.subkeys)
      if ((rc = Unregister(opened.get(), sub)) != ERROR_SUCCESS) return rc;
    for (const ScriptNamedValue& named : key.values) {
      rc = RegDeleteValue(opened.get(), named.name.c_str());
      if (rc != ERROR_SUCCESS && !Missing(rc)) return rc;
    }
    if (key.flag == ScriptKey::Flag::NoRemove) return ERROR_SUCCESS;
    DWORD subkeys = 0;
    if ((rc = RegQueryInfoKey(opened.get(), &subkeys, nullptr, nullptr, nullptr, nullptr)) !=
        ERROR_SUCCESS)
      return rc;
    // Subkeys that the script does not name belong to someone else; the key stays for them.
    if (subkeys != 0) return ERROR_SUCCESS;
  }
  rc = RegDeleteTree(parent, key.name.c_str());
  return Missing(rc) ? ERROR_SUCCESS : rc;
}

}  // namespace

HRESULT RunRegistrarScript(const ParsedScript& script, bool registering) {
  if (!script.ok) return E_INVALIDARG;
  for (const ScriptRoot& root : script.roots) {
    HKEY hive = HiveNamed(root.hive);
    if (!hive) return E_INVALIDARG;
    for (const ScriptKey& key : root.keys) {
      const LONG rc = registering ? Register(hive, key) : Unregister(hive, key);
      if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    }
  }
  return S_OK;
}
