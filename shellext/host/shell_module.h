// The host's side of the shell extension: loads the module, creates the handler through the
// module's class object, and walks one context menu through it as a file manager does.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/core/shared_library.h"
#include "shellext/com/shell_types.h"
#include "shellext/exports.h"

// A loaded module file; unloaded again when DllCanUnloadNow allows it.
class ShellExtModule {
 public:
  // Loads the file; ok() tells whether it and its entry points were found, error() why not.
  explicit ShellExtModule(const std::string& file);
  ~ShellExtModule();
  ShellExtModule(const ShellExtModule&) = delete;
  ShellExtModule& operator=(const ShellExtModule&) = delete;

  bool ok() const { return m_getClassObject != nullptr; }
  const std::string& error() const { return m_error; }

  HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const;
  HRESULT CanUnloadNow() const;
  HRESULT Install(bool install) const;

 private:
  SharedLibrary m_library;
  std::string m_error;
  DllGetClassObjectFn m_getClassObject = nullptr;
  DllCanUnloadNowFn m_canUnloadNow = nullptr;
  DllInstallFn m_install = nullptr;
};

// One item of a built menu, with the offset InvokeCommand takes for it.
struct ShellMenuItem {
  bool separator = false;
  UINT offset = 0;
  std::string text;
  std::string helpText;  // the "W" help text, as UTF-8
};

// One context menu: a handler given the selection, and the items it added.
class ContextMenuSession {
 public:
  // Creates the handler from the module's class object and hands it the paths. ok() is false
  // when the handler refused them (or could not be made); status() has its result.
  ContextMenuSession(const ShellExtModule& module, const std::vector<std::string>& paths);
  ~ContextMenuSession();
  ContextMenuSession(const ContextMenuSession&) = delete;
  ContextMenuSession& operator=(const ContextMenuSession&) = delete;

  bool ok() const { return m_menu != nullptr; }
  HRESULT status() const { return m_status; }

  // The items in menu order, with their help texts. Built once, on the first call.
  const std::vector<ShellMenuItem>& items();
  // Invokes the item at the offset (InvokeCommand with the offset as verb).
  HRESULT Invoke(UINT offset);

 private:
  IContextMenu* m_menu = nullptr;
  HRESULT m_status = E_FAIL;
  bool m_built = false;
  std::vector<ShellMenuItem> m_items;
};

// The module file of the shell extension beside the given program or module path.
std::string ShellExtBeside(const std::string& path);
