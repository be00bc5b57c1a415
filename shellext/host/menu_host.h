// What every file manager's module does with the handler, once: finds the registered server and
// keeps it loaded, hands it a selection of local paths, and lists the items to show.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "shellext/host/shell_module.h"

// One per module (and so per file manager process), from its first menu to its shutdown.
class MenuHost {
 public:
  // installedServer: the module file to load when the registry names none (an installation
  // registered for another user).
  explicit MenuHost(std::string installedServer);
  MenuHost(const MenuHost&) = delete;
  MenuHost& operator=(const MenuHost&) = delete;

  // The handler's menu for the paths, or nullptr when there is no path, no server that loads,
  // or the handler refused the selection: the file manager then shows no Zembra items. The
  // items offered are traced with the number of paths.
  std::shared_ptr<ContextMenuSession> MenuFor(const std::vector<std::string>& paths);
  // The module's shutdown: the server is unloaded when nothing of it is alive any more.
  void Unload() { m_server.reset(); }

 private:
  const ShellExtModule* Server();

  std::string m_installedServer;
  std::unique_ptr<ShellExtModule> m_server;
};

// The items a file manager shows, in menu order: the handler's commands without its separator,
// since file managers draw their own between extensions.
std::vector<ShellMenuItem> ShownItems(ContextMenuSession& menu);

// A name for the item that is the same in every menu (file managers key items by name).
std::string ShownItemName(const ShellMenuItem& item);

// The server file that the handler's class key names (InprocServer32), or "" when none is
// registered.
std::string RegisteredServerFile();
