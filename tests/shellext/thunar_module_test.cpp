// The Thunar module loaded through its entry points, as Thunar loads it (a type module that is
// its provider plugin), with file infos of the test's own.
#include <gtest/gtest.h>

#include "tests/shellext/file_manager_cases.h"
#include "tests/shellext/gobject_test_host.h"

// Not every thunarx header declares C linkage.
extern "C" {
#include <thunarx/thunarx.h>
}

namespace {

void AddFileInfoInterface(GType type) {
  const GInterfaceInfo info = {[](gpointer iface, gpointer) {
                                 static_cast<ThunarxFileInfoIface*>(iface)->get_location =
                                     [](ThunarxFileInfo* file) { return TestFileLocation(file); };
                               },
                               nullptr, nullptr};
  g_type_add_interface_static(type, THUNARX_TYPE_FILE_INFO, &info);
}

// Thunar's type module is the plugin its extensions register their types with.
void AddProviderPlugin(GType type) {
  const GInterfaceInfo info = {
      [](gpointer iface, gpointer) {
        auto* plugin = static_cast<ThunarxProviderPluginIface*>(iface);
        plugin->get_resident = [](const ThunarxProviderPlugin*) -> gboolean { return TRUE; };
        plugin->set_resident = [](ThunarxProviderPlugin*, gboolean) {};
        plugin->register_type = [](ThunarxProviderPlugin* self, GType parent, const gchar* name,
                                   const GTypeInfo* typeInfo, GTypeFlags flags) {
          return g_type_module_register_type(G_TYPE_MODULE(self), parent, name, typeInfo, flags);
        };
        plugin->add_interface = [](ThunarxProviderPlugin* self, GType instanceType,
                                   GType interfaceType, const GInterfaceInfo* interfaceInfo) {
          g_type_module_add_interface(G_TYPE_MODULE(self), instanceType, interfaceType,
                                      interfaceInfo);
        };
        plugin->register_enum = [](ThunarxProviderPlugin* self, const gchar* name,
                                   const GEnumValue* values) {
          return g_type_module_register_enum(G_TYPE_MODULE(self), name, values);
        };
        plugin->register_flags = [](ThunarxProviderPlugin* self, const gchar* name,
                                    const GFlagsValue* values) {
          return g_type_module_register_flags(G_TYPE_MODULE(self), name, values);
        };
      },
      nullptr, nullptr};
  g_type_add_interface_static(type, THUNARX_TYPE_PROVIDER_PLUGIN, &info);
}

// The plugin's "resident" property, which Thunar's interface requires of the object.
void ProviderPluginClassInit(void* klass) {
  auto* objectClass = G_OBJECT_CLASS(klass);
  objectClass->get_property = [](GObject*, guint, GValue* value, GParamSpec*) {
    g_value_set_boolean(value, TRUE);
  };
  objectClass->set_property = [](GObject*, guint, const GValue*, GParamSpec*) {};
  g_object_class_override_property(objectClass, 1, "resident");
}

const GObjectFileManager kThunar = {
    "thunar_extension_initialize", "thunar_extension_shutdown", "thunar_extension_list_types",
    AddFileInfoInterface, AddProviderPlugin, ProviderPluginClassInit,
    // Straight to the provider: Thunar's wrapper wants a window, which the module does not use.
    [](GObject* provider, GList* files) {
      auto* menuProvider = THUNARX_MENU_PROVIDER(provider);
      return THUNARX_MENU_PROVIDER_GET_IFACE(menuProvider)
          ->get_file_menu_items(menuProvider, nullptr, files);
    },
    "tooltip"};

FileManagerTestHost& Thunar() {
  static GObjectTestHost host(kThunar, BuiltFile("libzembra-thunar.so"));
  return host;
}

using ThunarModule = ModuleWithServer<Thunar>;
using ThunarModuleAlone = ModuleWithoutServer<Thunar>;

}  // namespace

// First: the module must not have loaded a server yet when run in one process.
TEST_F(ThunarModuleAlone, NoServerOrOneThatFailsToLoadGivesNoItems) {
  ExpectNoItemsWithoutAServerThatLoads(host(), ZEMBRA_INSTALLED_SHELLEXT);
}

TEST_F(ThunarModule, SelectionsGiveTheHandlersItemsInOrder) {
  ExpectSelectionsGiveTheHandlersItems(host());
}

TEST_F(ThunarModule, HostilePathsReachTheLauncherByteForByte) {
  ExpectHostilePathsReachTheLauncher(host(), server());
}

TEST_F(ThunarModule, RemoteFilesGetNoItems) { ExpectRemoteFilesGetNoItems(host()); }

TEST_F(ThunarModule, ZembraItemStartsTheLauncherWithCommandZero) {
  ASSERT_EQ(host().ItemsFor({"/d/a.asc"}).size(), 2u);
  host().Activate(0);
  const auto argv = server().WaitForNextArgv();
  ASSERT_TRUE(argv) << "the launcher did not run";
  EXPECT_EQ(*argv, (std::vector<std::string>{"0", "/d/a.asc"}));
}
