// The Caja module loaded through its entry points, as Caja loads it, with file infos of the test's
// own.
#include <gtest/gtest.h>

#include "tests/shellext/file_manager_cases.h"
#include "tests/shellext/gobject_test_host.h"

extern "C" {
#include <libcaja-extension/caja-file-info.h>
#include <libcaja-extension/caja-menu-provider.h>
}

namespace {

void AddFileInfoInterface(GType type) {
  const GInterfaceInfo info = {[](gpointer iface, gpointer) {
                                 static_cast<CajaFileInfoIface*>(iface)->get_location =
                                     [](CajaFileInfo* file) { return TestFileLocation(file); };
                               },
                               nullptr, nullptr};
  g_type_add_interface_static(type, CAJA_TYPE_FILE_INFO, &info);
}

const GObjectFileManager kCaja = {"caja_module_initialize",
                                  "caja_module_shutdown",
                                  "caja_module_list_types",
                                  AddFileInfoInterface,
                                  nullptr,
                                  nullptr,
                                  [](GObject* provider, GList* files) {
                                    return caja_menu_provider_get_file_items(
                                        CAJA_MENU_PROVIDER(provider), nullptr, files);
                                  },
                                  "tip"};

FileManagerTestHost& Caja() {
  static GObjectTestHost host(kCaja, BuiltFile("libzembra-caja.so"));
  return host;
}

using CajaModule = ModuleWithServer<Caja>;
using CajaModuleAlone = ModuleWithoutServer<Caja>;

}  // namespace

// First: the module must not have loaded a server yet when run in one process.
TEST_F(CajaModuleAlone, NoServerOrOneThatFailsToLoadGivesNoItems) {
  ExpectNoItemsWithoutAServerThatLoads(host(), ZEMBRA_INSTALLED_SHELLEXT);
}

TEST_F(CajaModule, SelectionsGiveTheHandlersItemsInOrder) {
  ExpectSelectionsGiveTheHandlersItems(host());
}

TEST_F(CajaModule, HostilePathsReachTheLauncherByteForByte) {
  ExpectHostilePathsReachTheLauncher(host(), server());
}

TEST_F(CajaModule, RemoteFilesGetNoItems) { ExpectRemoteFilesGetNoItems(host()); }
