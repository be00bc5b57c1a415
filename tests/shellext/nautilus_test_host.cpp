#include "tests/shellext/nautilus_test_host.h"

#include <dlfcn.h>

extern "C" {
#include <nautilus-extension.h>
}

namespace {

// A file info that knows only its location, which is all the module asks for.
struct TestFileInfo {
  GObject parent;
  GFile* location;
};
struct TestFileInfoClass {
  GObjectClass parent;
};

GFile* TestFileLocation(NautilusFileInfo* info) {
  return G_FILE(g_object_ref(reinterpret_cast<TestFileInfo*>(info)->location));
}

void FinalizeTestFileInfo(GObject* object) {
  g_object_unref(reinterpret_cast<TestFileInfo*>(object)->location);
  G_OBJECT_CLASS(g_type_class_peek(G_TYPE_OBJECT))->finalize(object);
}

GType TestFileInfoType() {
  static GType type = [] {
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
    const GInterfaceInfo fileInfo = {
        [](gpointer iface, gpointer) {
          static_cast<NautilusFileInfoInterface*>(iface)->get_location = TestFileLocation;
        },
        nullptr, nullptr};
    g_type_add_interface_static(t, NAUTILUS_TYPE_FILE_INFO, &fileInfo);
    return t;
  }();
  return type;
}

GObject* FileInfo(GFile* location) {
  auto* info = static_cast<TestFileInfo*>(g_object_new(TestFileInfoType(), nullptr));
  info->location = location;
  return G_OBJECT(info);
}

// A type module whose loading runs the extension's entry points, as Nautilus's own does. The
// file to load is set before the first use; a process loads one extension module.
struct ExtensionModule {
  GTypeModule parent;
};
struct ExtensionModuleClass {
  GTypeModuleClass parent;
};

std::string g_extensionFile;
void* g_extension = nullptr;

gboolean LoadExtension(GTypeModule* module) {
  if (!g_extension) g_extension = dlopen(g_extensionFile.c_str(), RTLD_NOW);
  if (!g_extension) return FALSE;
  auto initialize =
      reinterpret_cast<void (*)(GTypeModule*)>(dlsym(g_extension, "nautilus_module_initialize"));
  if (!initialize) return FALSE;
  initialize(module);
  return TRUE;
}

void UnloadExtension(GTypeModule*) {
  reinterpret_cast<void (*)()>(dlsym(g_extension, "nautilus_module_shutdown"))();
}

GType ExtensionModuleType() {
  static GType type = [] {
    const GTypeInfo info = {sizeof(ExtensionModuleClass),
                            nullptr,
                            nullptr,
                            [](gpointer klass, gpointer) {
                              G_TYPE_MODULE_CLASS(klass)->load = LoadExtension;
                              G_TYPE_MODULE_CLASS(klass)->unload = UnloadExtension;
                            },
                            nullptr,
                            nullptr,
                            sizeof(ExtensionModule),
                            0,
                            nullptr,
                            nullptr};
    return g_type_register_static(G_TYPE_TYPE_MODULE, "ZembraTestExtensionModule", &info,
                                  GTypeFlags{});
  }();
  return type;
}

}  // namespace

NautilusTestHost::NautilusTestHost(const std::string& moduleFile) {
  g_extensionFile = moduleFile;
  m_module = G_TYPE_MODULE(g_object_new(ExtensionModuleType(), nullptr));
  if (!g_type_module_use(m_module)) {
    const char* why = dlerror();
    m_error = why ? why : "the module has no nautilus_module_initialize";
    return;
  }
  const GType* types = nullptr;
  int count = 0;
  auto listTypes = reinterpret_cast<void (*)(const GType**, int*)>(
      dlsym(g_extension, "nautilus_module_list_types"));
  if (!listTypes) {
    m_error = "the module has no nautilus_module_list_types";
    return;
  }
  listTypes(&types, &count);
  if (count != 1) {
    m_error = "the module lists " + std::to_string(count) + " types";
    return;
  }
  m_provider = G_OBJECT(g_object_new(types[0], nullptr));
}

NautilusTestHost::~NautilusTestHost() {
  if (m_items) nautilus_menu_item_list_free(m_items);
  if (m_provider) g_object_unref(m_provider);
  if (m_module && g_extension) g_type_module_unuse(m_module);
}

std::vector<NautilusItemShown> NautilusTestHost::ItemsFor(
    const std::vector<std::string>& pathsOrUris) {
  GList* infos = nullptr;
  for (const std::string& name : pathsOrUris) {
    GFile* file = name.find("://") != std::string::npos ? g_file_new_for_uri(name.c_str())
                                                        : g_file_new_for_path(name.c_str());
    infos = g_list_append(infos, FileInfo(file));
  }
  if (m_items) nautilus_menu_item_list_free(m_items);
  m_items = nautilus_menu_provider_get_file_items(NAUTILUS_MENU_PROVIDER(m_provider), infos);
  nautilus_file_info_list_free(infos);
  std::vector<NautilusItemShown> shown;
  for (GList* it = m_items; it; it = it->next) {
    char* label = nullptr;
    char* tip = nullptr;
    g_object_get(it->data, "label", &label, "tip", &tip, nullptr);
    shown.push_back({label ? label : "", tip ? tip : ""});
    g_free(label);
    g_free(tip);
  }
  return shown;
}

void NautilusTestHost::Activate(unsigned index) {
  if (auto* item = g_list_nth_data(m_items, index))
    nautilus_menu_item_activate(NAUTILUS_MENU_ITEM(item));
}

void NautilusTestHost::ShutDownModule() {
  if (g_extension) UnloadExtension(m_module);
}
