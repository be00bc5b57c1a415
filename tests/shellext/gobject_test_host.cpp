#include "tests/shellext/gobject_test_host.h"

#include <dlfcn.h>

#include <gio/gio.h>

namespace {

// A file info that knows only its location, which is all the modules ask for.
struct TestFileInfo {
  GObject parent;
  GFile* location;
};
struct TestFileInfoClass {
  GObjectClass parent;
};

void FinalizeTestFileInfo(GObject* object) {
  g_object_unref(reinterpret_cast<TestFileInfo*>(object)->location);
  G_OBJECT_CLASS(g_type_class_peek(G_TYPE_OBJECT))->finalize(object);
}

GType TestFileInfoType(const GObjectFileManager& manager) {
  static GType type = [&] {
    const GTypeInfo info = {
        sizeof(TestFileInfoClass),
        nullptr,
        nullptr,
        [](gpointer klass, gpointer) { G_OBJECT_CLASS(klass)->finalize = FinalizeTestFileInfo; },
        nullptr,
        nullptr,
        sizeof(TestFileInfo),
        0,
        nullptr,
        nullptr};
    GType t = g_type_register_static(G_TYPE_OBJECT, "ZembraTestFileInfo", &info, GTypeFlags{});
    manager.addFileInfoInterface(t);
    return t;
  }();
  return type;
}

GObject* FileInfo(const GObjectFileManager& manager, GFile* location) {
  auto* info = static_cast<TestFileInfo*>(g_object_new(TestFileInfoType(manager), nullptr));
  info->location = location;
  return G_OBJECT(info);
}

// A type module whose loading runs the extension's initialize entry point, as the file
// manager's own does; unloading runs its shutdown.
struct ExtensionModule {
  GTypeModule parent;
  void* library;
  const GObjectFileManager* manager;
};
struct ExtensionModuleClass {
  GTypeModuleClass parent;
};

gboolean LoadExtension(GTypeModule* module) {
  auto* self = reinterpret_cast<ExtensionModule*>(module);
  auto initialize =
      reinterpret_cast<void (*)(GTypeModule*)>(dlsym(self->library, self->manager->initialize));
  if (!initialize) return FALSE;
  initialize(module);
  return TRUE;
}

void UnloadExtension(GTypeModule* module) {
  auto* self = reinterpret_cast<ExtensionModule*>(module);
  if (auto shutdown = reinterpret_cast<void (*)()>(dlsym(self->library, self->manager->shutdown)))
    shutdown();
}

GType ExtensionModuleType(const GObjectFileManager& manager) {
  static GType type = [&] {
    const GTypeInfo info = {sizeof(ExtensionModuleClass),
                            nullptr,
                            nullptr,
                            [](gpointer klass, gpointer data) {
                              G_TYPE_MODULE_CLASS(klass)->load = LoadExtension;
                              G_TYPE_MODULE_CLASS(klass)->unload = UnloadExtension;
                              auto* fileManager = static_cast<const GObjectFileManager*>(data);
                              if (fileManager->moduleClassInit) fileManager->moduleClassInit(klass);
                            },
                            nullptr,
                            &manager,
                            sizeof(ExtensionModule),
                            0,
                            nullptr,
                            nullptr};
    GType t = g_type_register_static(G_TYPE_TYPE_MODULE, "ZembraTestExtensionModule", &info,
                                     GTypeFlags{});
    if (manager.addModuleInterfaces) manager.addModuleInterfaces(t);
    return t;
  }();
  return type;
}

}  // namespace

GFile* TestFileLocation(void* fileInfo) {
  return G_FILE(g_object_ref(static_cast<TestFileInfo*>(fileInfo)->location));
}

GObjectTestHost::GObjectTestHost(const GObjectFileManager& manager, const std::string& moduleFile)
    : m_manager(manager) {
  m_library = dlopen(moduleFile.c_str(), RTLD_NOW);
  if (!m_library) {
    const char* why = dlerror();
    m_error = why ? why : "the module did not load";
    return;
  }
  auto* module = static_cast<ExtensionModule*>(g_object_new(ExtensionModuleType(manager), nullptr));
  module->library = m_library;
  module->manager = &manager;
  m_module = G_OBJECT(module);
  if (!g_type_module_use(G_TYPE_MODULE(module))) {
    m_error = std::string("the module has no ") + manager.initialize;
    return;
  }
  auto listTypes =
      reinterpret_cast<void (*)(const GType**, int*)>(dlsym(m_library, manager.listTypes));
  if (!listTypes) {
    m_error = std::string("the module has no ") + manager.listTypes;
    return;
  }
  const GType* types = nullptr;
  int count = 0;
  listTypes(&types, &count);
  if (count != 1) {
    m_error = "the module lists " + std::to_string(count) + " types";
    return;
  }
  m_provider = G_OBJECT(g_object_new(types[0], nullptr));
}

GObjectTestHost::~GObjectTestHost() {
  if (m_items) g_list_free_full(m_items, g_object_unref);
  if (m_provider) g_object_unref(m_provider);
  ShutDownModule();
}

std::vector<ItemShown> GObjectTestHost::ItemsFor(const std::vector<std::string>& pathsOrUris) {
  GList* infos = nullptr;
  for (const std::string& name : pathsOrUris) {
    GFile* file = name.find("://") != std::string::npos ? g_file_new_for_uri(name.c_str())
                                                        : g_file_new_for_path(name.c_str());
    infos = g_list_append(infos, FileInfo(m_manager, file));
  }
  if (m_items) g_list_free_full(m_items, g_object_unref);
  m_items = m_manager.fileItems(m_provider, infos);
  g_list_free_full(infos, g_object_unref);
  std::vector<ItemShown> shown;
  for (GList* it = m_items; it; it = it->next) {
    char* label = nullptr;
    char* tip = nullptr;
    g_object_get(it->data, "label", &label, m_manager.tipProperty, &tip, nullptr);
    shown.push_back({label ? label : "", tip ? tip : ""});
    g_free(label);
    g_free(tip);
  }
  return shown;
}

void GObjectTestHost::Activate(unsigned index) {
  if (auto* item = g_list_nth_data(m_items, index)) g_signal_emit_by_name(item, "activate");
}

void GObjectTestHost::ShutDownModule() {
  if (!m_library) return;
  if (auto shutdown = reinterpret_cast<void (*)()>(dlsym(m_library, m_manager.shutdown)))
    shutdown();
}
