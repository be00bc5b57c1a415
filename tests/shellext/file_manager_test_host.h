// A file manager's side of its extension module, for tests: the module loaded through its own
// entry points, asked for the items of file objects of the test's own, and an item activated.
#pragma once

#include <string>
#include <vector>

// One menu item as the file manager would show it.
struct ItemShown {
  std::string label, tip;
};

class FileManagerTestHost {
 public:
  virtual ~FileManagerTestHost() = default;
  virtual bool ok() const = 0;
  virtual const std::string& error() const = 0;
  // The module's items for local paths, or for URIs (with "://"); kept for Activate.
  virtual std::vector<ItemShown> ItemsFor(const std::vector<std::string>& pathsOrUris) = 0;
  // Activates the item at that index of the last ItemsFor.
  virtual void Activate(unsigned index) = 0;
  // The module's shutdown as the file manager does it at its end: the server is unloaded, and
  // found afresh by the next menu.
  virtual void ShutDownModule() = 0;
};
