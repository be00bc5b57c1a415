// The Nemo module loaded through its entry points, as Nemo loads it, with file infos of the test's
// own.
#include <gtest/gtest.h>

#include "tests/shellext/file_manager_cases.h"
#include "tests/shellext/gobject_test_host.h"

extern "C" {
#include <libnemo-extension/nemo-file-info.h>
#include <libnemo-extension/nemo-menu-provider.h>
}

namespace {

void AddFileInfoInterface(GType type) {
  const GInterfaceInfo info = {[](gpointer iface, gpointer) {
                                 static_cast<NemoFileInfoInterface*>(iface)->get_location =
                                     [](NemoFileInfo* file) { return TestFileLocation(file); };
                               },
                               nullptr, nullptr};
  g_type_add_interface_static(type, NEMO_TYPE_FILE_INFO, &info);
}

const GObjectFileManager kNemo = {"nemo_module_initialize",
                                  "nemo_module_shutdown",
                                  "nemo_module_list_types",
                                  AddFileInfoInterface,
                                  nullptr,
                                  nullptr,
                                  [](GObject* provider, GList* files) {
                                    return nemo_menu_provider_get_file_items(
                                        NEMO_MENU_PROVIDER(provider), nullptr, files);
                                  },
                                  "tip"};

FileManagerTestHost& Nemo() {
  static GObjectTestHost host(kNemo, BuiltFile("libzembra-nemo.so"));
  return host;
}

using NemoModule = ModuleWithServer<Nemo>;
using NemoModuleAlone = ModuleWithoutServer<Nemo>;

}  // namespace

// First: the module must not have loaded a server yet when run in one process.
TEST_F(NemoModuleAlone, NoServerOrOneThatFailsToLoadGivesNoItems) {
  ExpectNoItemsWithoutAServerThatLoads(host(), ZEMBRA_INSTALLED_SHELLEXT);
}

TEST_F(NemoModule, SelectionsGiveTheHandlersItemsInOrder) {
  ExpectSelectionsGiveTheHandlersItems(host());
}

TEST_F(NemoModule, HostilePathsReachTheLauncherByteForByte) {
  ExpectHostilePathsReachTheLauncher(host(), server());
}

TEST_F(NemoModule, RemoteFilesGetNoItems) { ExpectRemoteFilesGetNoItems(host()); }
