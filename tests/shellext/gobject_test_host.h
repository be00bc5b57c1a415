// The side of a GObject file manager (Nautilus, Thunar, Nemo, Caja) that its modules meet, for
// tests: the module loaded into a type module through its entry points, its one provider asked
// for the items of file infos of the test's own (which know only their location), and an item
// activated through its "activate" signal. Each file manager supplies what differs.
#pragma once

#include <string>
#include <vector>

#include "tests/shellext/file_manager_test_host.h"

typedef struct _GFile GFile;
typedef struct _GList GList;
typedef struct _GObject GObject;
typedef unsigned long GType;  // NOLINT: GLib's own definition (gsize)

struct GObjectFileManager {
  // The module's entry points.
  const char* initialize;
  const char* shutdown;
  const char* listTypes;
  // Adds the file manager's file-info interface to the test's file-info type; its
  // get_location is TestFileLocation.
  void (*addFileInfoInterface)(GType fileInfoType);
  // Adds what the module object is besides a type module (Thunar's provider plugin), or null;
  // classInit (or null) completes its class for that.
  void (*addModuleInterfaces)(GType moduleType);
  void (*moduleClassInit)(void* moduleClass);
  // The provider's items for the file infos (a new list of new items).
  GList* (*fileItems)(GObject* provider, GList* files);
  // The items' property that holds the tip.
  const char* tipProperty;
};

// The location of a test file info (a new reference), for the file-info interfaces.
GFile* TestFileLocation(void* fileInfo);

class GObjectTestHost : public FileManagerTestHost {
 public:
  // Loads the module file and makes its one provider; ok() says whether that worked. One
  // module per process: the type module stays, as GType wants.
  GObjectTestHost(const GObjectFileManager& manager, const std::string& moduleFile);
  ~GObjectTestHost() override;
  GObjectTestHost(const GObjectTestHost&) = delete;
  GObjectTestHost& operator=(const GObjectTestHost&) = delete;

  bool ok() const override { return m_provider != nullptr; }
  const std::string& error() const override { return m_error; }
  std::vector<ItemShown> ItemsFor(const std::vector<std::string>& pathsOrUris) override;
  void Activate(unsigned index) override;
  void ShutDownModule() override;

 private:
  const GObjectFileManager& m_manager;
  void* m_library = nullptr;
  GObject* m_module = nullptr;
  GObject* m_provider = nullptr;
  GList* m_items = nullptr;
  std::string m_error;
};
