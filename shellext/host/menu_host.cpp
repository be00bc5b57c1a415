#include "shellext/host/menu_host.h"

#include <utility>

#include "platform/core/registry.h"
#include "platform/core/text.h"
#include "platform/core/trace.h"
#include "shellext/shell_ext_guids.h"

MenuHost::MenuHost(std::string installedServer) : m_installedServer(std::move(installedServer)) {}

const ShellExtModule* MenuHost::Server() {
  if (m_server && m_server->ok()) return m_server.get();
  std::string file = RegisteredServerFile();
  if (file.empty()) file = m_installedServer;
  m_server = std::make_unique<ShellExtModule>(file);
  if (!m_server->ok()) {
    TraceText("Zembra: " + DisplayText(m_server->error()));
    return nullptr;
  }
  return m_server.get();
}

std::shared_ptr<ContextMenuSession> MenuHost::MenuFor(const std::vector<std::string>& paths) {
  if (paths.empty()) return nullptr;
  const ShellExtModule* server = Server();
  if (!server) return nullptr;
  auto menu = std::make_shared<ContextMenuSession>(*server, paths);
  if (!menu->ok()) return nullptr;
  if (TraceEnabled()) {
    // The items offered, for whoever follows the file manager's side in the trace.
    std::string shownTexts;
    for (const ShellMenuItem& shown : ShownItems(*menu)) shownTexts += " \"" + shown.text + "\"";
    TraceText("Zembra: context menu for " + std::to_string(paths.size()) +
              " file(s):" + shownTexts);
  }
  return menu;
}

std::vector<ShellMenuItem> ShownItems(ContextMenuSession& menu) {
  std::vector<ShellMenuItem> shown;
  for (const ShellMenuItem& item : menu.items())
    if (!item.separator) shown.push_back(item);
  return shown;
}

std::string ShownItemName(const ShellMenuItem& item) {
  return "ZembraShlExt::Item" + std::to_string(item.offset);
}

std::string RegisteredServerFile() {
  const std::string key = "CLSID\\" + GuidToRegistryString(CLSID_ZembraShlExt) + "\\InprocServer32";
  RegKey opened;
  if (RegOpenKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, opened.put()) !=
      ERROR_SUCCESS)
    return {};
  DWORD type = 0, size = 0;
  if (RegQueryValueEx(opened.get(), nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_SZ || size == 0)
    return {};
  std::string file(size, '\0');
  if (RegQueryValueEx(opened.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(file.data()),
                      &size) != ERROR_SUCCESS)
    return {};
  file.resize(file.find('\0'));
  return file;
}
