// Nautilus's side of its extension modules, for tests: the module loaded through its entry
// points into a type module as Nautilus loads it, its menu provider asked for the items of file
// infos of the test's own (which know only their location), and an item activated.
#pragma once

#include <string>
#include <vector>

typedef struct _GList GList;
typedef struct _GObject GObject;
typedef struct _GTypeModule GTypeModule;

struct NautilusItemShown {
  std::string label, tip;
};

class NautilusTestHost {
 public:
  // Loads the module file and makes its one provider; ok() says whether that worked.
  explicit NautilusTestHost(const std::string& moduleFile);
  // The provider is released and the module shut down; the type module stays, as GType wants.
  ~NautilusTestHost();
  NautilusTestHost(const NautilusTestHost&) = delete;
  NautilusTestHost& operator=(const NautilusTestHost&) = delete;

  bool ok() const { return m_provider != nullptr; }
  const std::string& error() const { return m_error; }

  // The provider's items for local paths, or for URIs (with "://"); kept for Activate.
  std::vector<NautilusItemShown> ItemsFor(const std::vector<std::string>& pathsOrUris);
  // Activates the item at that index of the last ItemsFor.
  void Activate(unsigned index);

 private:
  GTypeModule* m_module = nullptr;
  GObject* m_provider = nullptr;
  GList* m_items = nullptr;
  std::string m_error;
};
