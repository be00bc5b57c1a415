#include "shellext/exports.h"

#include "platform/core/process.h"
#include "platform/core/registry.h"
#include "shellext/registrar/registrar_script.h"
#include "shellext/registration_scripts.h"
#include "shellext/server_module.h"
#include "shellext/shell_ext_guids.h"

namespace {

constexpr const char* kApprovedKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
constexpr const char* kApprovalText = "ZembraShlExt extension";
// The longest module path the registration takes (MAX_PATH less its terminating zero).
constexpr std::size_t kMaxModulePath = 259;

// Shell extensions are approved only on NT-family systems, which this platform counts as.
bool IsNtFamily() { return true; }

// The registrar's replacements: the module's path, quotes doubled for the script language.
HRESULT ModuleReplacements(ScriptReplacements& replacements) {
  const std::string module = ModuleFilePath();
  if (module.empty() || module.size() > kMaxModulePath)
    return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  auto escaped = [](const std::string& text) {
    std::string out;
    for (char c : text) {
      if (c == '\'') out += '\'';
      out += c;
    }
    return out;
  };
  replacements["MODULE"] = escaped(module);
  replacements["MODULEDIR"] = escaped(FolderOf(module));
  return S_OK;
}

HRESULT RunScript(const std::string& text, const ScriptReplacements& replacements,
                  bool registering) {
  const ParsedScript script = ParseRegistrarScript(text, replacements);
  return script.ok ? RunRegistrarScript(script, registering) : E_UNEXPECTED;
}

// Module script, class script and type library, in that order; the first failure stops.
HRESULT RegisterModule() {
  ScriptReplacements replacements;
  HRESULT hr = ModuleReplacements(replacements);
  if (SUCCEEDED(hr)) hr = RunScript(RegistrationScript(IDR_ZEMBRASHELLEXT), replacements, true);
  if (SUCCEEDED(hr)) hr = RunScript(RegistrationScript(IDR_ZEMBRASHLEXT), replacements, true);
  if (SUCCEEDED(hr)) hr = RunScript(TypeLibraryScript(ModuleTypeLibrary()), replacements, true);
  return hr;
}

// The reverse order: class script, type library, module script.
HRESULT UnregisterModule() {
  ScriptReplacements replacements;
  HRESULT hr = ModuleReplacements(replacements);
  if (SUCCEEDED(hr)) hr = RunScript(RegistrationScript(IDR_ZEMBRASHLEXT), replacements, false);
  if (SUCCEEDED(hr)) hr = RunScript(TypeLibraryScript(ModuleTypeLibrary()), replacements, false);
  if (SUCCEEDED(hr)) hr = RunScript(RegistrationScript(IDR_ZEMBRASHELLEXT), replacements, false);
  return hr;
}

}  // namespace

HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!(rclsid == CLSID_ZembraShlExt)) return CLASS_E_CLASSNOTAVAILABLE;
  return GetClassFactory(riid, ppv);
}

HRESULT DllCanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

HRESULT DllRegisterServer() {
  if (IsNtFamily()) {
    // Without the right to approve, nothing at all is registered.
    RegKey approved;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kApprovedKey, 0, KEY_SET_VALUE, approved.put()) !=
        ERROR_SUCCESS)
      return E_ACCESSDENIED;
    const std::string name = GuidToRegistryString(CLSID_ZembraShlExt);
    if (RegSetValueEx(approved.get(), name.c_str(), 0, REG_SZ,
                      reinterpret_cast<const BYTE*>(kApprovalText),
                      static_cast<DWORD>(sizeof("ZembraShlExt extension"))) != ERROR_SUCCESS)
      return E_ACCESSDENIED;
  }
  return RegisterModule();
}

HRESULT DllUnregisterServer() {
  if (IsNtFamily()) {
    RegKey approved;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kApprovedKey, 0, KEY_SET_VALUE, approved.put()) ==
        ERROR_SUCCESS)
      RegDeleteValue(approved.get(), GuidToRegistryString(CLSID_ZembraShlExt).c_str());
  }
  return UnregisterModule();
}

HRESULT DllInstall(BOOL install, const char*) {
  if (!install) return DllUnregisterServer();
  const HRESULT hr = DllRegisterServer();
  if (FAILED(hr)) DllUnregisterServer();
  return hr;
}
