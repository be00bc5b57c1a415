#include "shellext/host/shell_module.h"

#include "platform/core/process.h"
#include "platform/core/text.h"
#include "shellext/host/drop_data_object.h"
#include "shellext/shell_ext_guids.h"

ShellExtModule::ShellExtModule(const std::string& file) : m_library(file) {
  if (!m_library.ok()) {
    m_error = m_library.error();
    return;
  }
  auto getClassObject =
      reinterpret_cast<DllGetClassObjectFn>(m_library.Symbol("DllGetClassObject"));
  m_canUnloadNow = reinterpret_cast<DllCanUnloadNowFn>(m_library.Symbol("DllCanUnloadNow"));
  m_install = reinterpret_cast<DllInstallFn>(m_library.Symbol("DllInstall"));
  if (!getClassObject || !m_canUnloadNow || !m_install) {
    m_error = file + " is not the shell extension: its entry points are missing";
    return;
  }
  m_getClassObject = getClassObject;
}

ShellExtModule::~ShellExtModule() {
  // A module still in use stays loaded; unloading it would leave its objects without code.
  if (m_canUnloadNow && m_canUnloadNow() != S_OK) m_library.Keep();
}

HRESULT ShellExtModule::GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const {
  return m_getClassObject ? m_getClassObject(clsid, riid, ppv) : E_UNEXPECTED;
}
HRESULT ShellExtModule::CanUnloadNow() const { return m_canUnloadNow ? m_canUnloadNow() : S_OK; }
HRESULT ShellExtModule::Install(bool install) const {
  return m_install ? m_install(install ? TRUE : FALSE, "") : E_UNEXPECTED;
}

ContextMenuSession::ContextMenuSession(const ShellExtModule& module,
                                       const std::vector<std::string>& paths) {
  ComPtr<IClassFactory> factory;
  m_status = module.GetClassObject(CLSID_ZembraShlExt, IID_IClassFactory, factory.put());
  if (FAILED(m_status)) return;
  ComPtr<IShellExtInit> init;
  m_status = factory->CreateInstance(nullptr, IID_IShellExtInit, init.put());
  if (FAILED(m_status)) return;
  IDataObject* data = CreateDropDataObject(paths);
  if (!data) {
    m_status = E_OUTOFMEMORY;
    return;
  }
  m_status = init->Initialize(nullptr, data, nullptr);
  data->Release();
  if (FAILED(m_status)) return;
  m_status = init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&m_menu));
}

ContextMenuSession::~ContextMenuSession() {
  if (m_menu) m_menu->Release();
}

namespace {

std::string Utf16ToUtf8(const WCHAR* text) {
  std::string out;
  for (; *text; ++text) {
    char32_t c = *text;
    if (c >= 0xD800 && c < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[1] - 0xDC00);
      ++text;
    }
    AppendUtf8(out, c);
  }
  return out;
}

}  // namespace

const std::vector<ShellMenuItem>& ContextMenuSession::items() {
  if (m_built || !m_menu) return m_items;
  m_built = true;
  constexpr UINT kFirstId = 1;  // a file manager's first free command id
  HMENU menu = CreatePopupMenu();
  const HRESULT hr = m_menu->QueryContextMenu(menu, 0, kFirstId, 0x7FFF, CMF_NORMAL);
  if (SUCCEEDED(hr)) {
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      MenuItem item;
      GetMenuItem(menu, i, item);
      ShellMenuItem shown;
      shown.separator = item.separator();
      if (!shown.separator) {
        shown.offset = item.id - kFirstId;
        shown.text = item.text;
        WCHAR help[260] = {};
        if (SUCCEEDED(m_menu->GetCommandString(shown.offset, GCS_HELPTEXTW, nullptr,
                                               reinterpret_cast<char*>(help), 260)))
          shown.helpText = Utf16ToUtf8(help);
      }
      m_items.push_back(std::move(shown));
    }
  }
  DestroyMenu(menu);
  return m_items;
}

HRESULT ContextMenuSession::Invoke(UINT offset) {
  if (!m_menu) return E_UNEXPECTED;
  CMINVOKECOMMANDINFO info{};
  info.cbSize = sizeof info;
  info.lpVerb = MAKEINTRESOURCEA(offset);
  return m_menu->InvokeCommand(&info);
}

std::string ShellExtBeside(const std::string& path) {
  return FolderOf(path) + "/ZembraShellExt.so";
}
