// The Nautilus module loaded through its module entry points, as Nautilus loads it, with file
// infos of the test's own: its menu items, their tips, and what activating one starts.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <memory>

#include "tests/shellext/shell_test_support.h"

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
    const GTypeInfo info = {sizeof(TestFileInfoClass),
                            nullptr,
                            nullptr,
                            [](gpointer klass, gpointer) {
                              G_OBJECT_CLASS(klass)->finalize = FinalizeTestFileInfo;
                            },
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

// A type module whose loading runs the extension's entry points, as Nautilus's own does.
struct ExtensionModule {
  GTypeModule parent;
};
struct ExtensionModuleClass {
  GTypeModuleClass parent;
};

void* g_extension = nullptr;

gboolean LoadExtension(GTypeModule* module) {
  if (!g_extension) g_extension = dlopen(BuiltFile("libzembra-nautilus.so").c_str(), RTLD_NOW);
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

struct ShownItem {
  std::string label, tip;
};

class NautilusModule : public ::testing::Test {
 protected:
  // One registry and one registered server for the suite: the module finds the server through
  // the registry, as it would in a session, and keeps it loaded until its shutdown.
  static void SetUpTestSuite() {
    s_registry = std::make_unique<ScopedRegistry>();
    s_probe = std::make_unique<ProbeFolder>();
    ShellExtModule server(s_probe->module());
    ASSERT_EQ(server.Install(true), S_OK);
    s_module = G_TYPE_MODULE(g_object_new(ExtensionModuleType(), nullptr));
    ASSERT_TRUE(g_type_module_use(s_module)) << dlerror();
    const GType* types = nullptr;
    int count = 0;
    reinterpret_cast<void (*)(const GType**, int*)>(
        dlsym(g_extension, "nautilus_module_list_types"))(&types, &count);
    ASSERT_EQ(count, 1);
    s_provider = G_OBJECT(g_object_new(types[0], nullptr));
  }
  static void TearDownTestSuite() {
    if (s_provider) g_object_unref(s_provider);
    if (s_module) g_type_module_unuse(s_module);  // the type module itself stays, as GType wants
    s_probe.reset();
    s_registry.reset();
  }

  // The items for the files; the list is kept for activation.
  std::vector<ShownItem> Items(const std::vector<GFile*>& files) {
    GList* infos = nullptr;
    for (GFile* file : files) infos = g_list_append(infos, FileInfo(file));
    if (m_items) nautilus_menu_item_list_free(m_items);
    m_items = nautilus_menu_provider_get_file_items(NAUTILUS_MENU_PROVIDER(s_provider), infos);
    nautilus_file_info_list_free(infos);
    std::vector<ShownItem> shown;
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
  std::vector<ShownItem> ItemsFor(const std::vector<std::string>& paths) {
    std::vector<GFile*> files;
    for (const std::string& path : paths) files.push_back(g_file_new_for_path(path.c_str()));
    return Items(files);
  }

  void TearDown() override {
    if (m_items) nautilus_menu_item_list_free(m_items);
  }

  static inline std::unique_ptr<ScopedRegistry> s_registry;
  static inline std::unique_ptr<ProbeFolder> s_probe;
  static inline GTypeModule* s_module = nullptr;
  static inline GObject* s_provider = nullptr;
  GList* m_items = nullptr;
};

}  // namespace

TEST_F(NautilusModule, SelectionsGiveTheHandlersItemsWithTips) {
  struct Case {
    std::vector<std::string> paths;
    const char* action;
    const char* tip;
  };
  const Case cases[] = {
      {{"/d/a.asc"}, "Import Key", "Import key(s) into Zembra"},
      {{"/d/a.asc", "/d/B.ASC"}, "Import Keys", "Import key(s) into Zembra"},
      {{"/d/folder", "/d/a.asc"}, "Import Keys", "Import key(s) into Zembra"},
      {{"/d/x.gpg", "/d/y.pgp"}, "Decrypt with Zembra", "Decrypt file(s) with Zembra"},
      {{"/d/x.signed.gpg"}, "Decrypt with Zembra", "Decrypt file(s) with Zembra"},
      {{"/d/x.gpg", "/d/y.txt"}, "Encrypt with Zembra", "Encrypt file(s) with Zembra"},
      {{"/d/x.gpg.bak"}, "Encrypt with Zembra", "Encrypt file(s) with Zembra"},
      {{"/d/my.dir/readme"}, "Encrypt with Zembra", "Encrypt file(s) with Zembra"},
  };
  for (const Case& c : cases) {
    const std::vector<ShownItem> items = ItemsFor(c.paths);
    ASSERT_EQ(items.size(), 2u) << c.paths[0];
    EXPECT_EQ(items[0].label, "Zembra...");
    EXPECT_EQ(items[0].tip, "Encrypt/decrypt file(s) with Zembra");
    EXPECT_EQ(items[1].label, c.action) << c.paths[0];
    EXPECT_EQ(items[1].tip, c.tip) << c.paths[0];
  }
}

TEST_F(NautilusModule, ActivatingAnItemStartsTheLauncherOnTheSelection) {
  const std::vector<std::string> paths{"/d/x.gpg", "/d/with \"quote\".pgp"};
  ASSERT_EQ(ItemsFor(paths).size(), 2u);
  nautilus_menu_item_activate(NAUTILUS_MENU_ITEM(g_list_nth_data(m_items, 1)));
  const auto argv = s_probe->WaitForArgv();
  ASSERT_TRUE(argv) << "the launcher did not run";
  EXPECT_EQ(*argv, (std::vector<std::string>{"1", paths[0], paths[1]}));
}

TEST_F(NautilusModule, RemoteFilesGetNoItems) {
  EXPECT_TRUE(Items({g_file_new_for_path("/d/x.gpg"), g_file_new_for_uri("sftp://host/y.gpg")})
                  .empty());
  EXPECT_TRUE(Items({}).empty());
}
