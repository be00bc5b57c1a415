// Nautilus's side of its extension modules, for tests: the module loaded through its entry
// points into a type module as Nautilus loads it, its menu provider asked for the items of file
// infos of the test's own (which know only their location), and an item activated.
#pragma once

#include <string>
#include <vector>

#include "tests/shellext/file_manager_test_host.h"

typedef struct _GList GList;
typedef struct _GObject GObject;
typedef struct _GTypeModule GTypeModule;

using NautilusItemShown = ItemShown;

class NautilusTestHost : public FileManagerTestHost {
 public:
  // Loads the module file and makes its one provider; ok() says whether that worked.
  explicit NautilusTestHost(const std::string& moduleFile);
  // The provider is released and the module shut down; the type module stays, as GType wants.
  ~NautilusTestHost() override;
  NautilusTestHost(const NautilusTestHost&) = delete;
  NautilusTestHost& operator=(const NautilusTestHost&) = delete;

  bool ok() const override { return m_provider != nullptr; }
  const std::string& error() const override { return m_error; }

  // The provider's items for local paths, or for URIs (with "://"); kept for Activate.
  std::vector<NautilusItemShown> ItemsFor(const std::vector<std::string>& pathsOrUris) override;
  // Activates the item at that index of the last ItemsFor.
  void Activate(unsigned index) override;
  void ShutDownModule() override;

 private:
  GTypeModule* m_module = nullptr;
  GObject* m_provider = nullptr;
  GList* m_items = nullptr;
  std::string m_error;
};
