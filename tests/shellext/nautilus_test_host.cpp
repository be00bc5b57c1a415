#include "tests/shellext/nautilus_test_host.h"

extern "C" {
#include <nautilus-extension.h>
}

namespace {

void AddFileInfoInterface(GType type) {
  const GInterfaceInfo info = {[](gpointer iface, gpointer) {
                                 static_cast<NautilusFileInfoInterface*>(iface)->get_location =
                                     [](NautilusFileInfo* file) { return TestFileLocation(file); };
                               },
                               nullptr, nullptr};
  g_type_add_interface_static(type, NAUTILUS_TYPE_FILE_INFO, &info);
}

const GObjectFileManager kNautilus = {"nautilus_module_initialize",
                                      "nautilus_module_shutdown",
                                      "nautilus_module_list_types",
                                      AddFileInfoInterface,
                                      nullptr,
                                      nullptr,
                                      [](GObject* provider, GList* files) {
                                        return nautilus_menu_provider_get_file_items(
                                            NAUTILUS_MENU_PROVIDER(provider), files);
                                      },
                                      "tip"};

}  // namespace

NautilusTestHost::NautilusTestHost(const std::string& moduleFile)
    : GObjectTestHost(kNautilus, moduleFile) {}
