// The Thunar extension module (thunarx-3): a menu provider that hosts the shell extension, as
// the Nautilus module does. The selected files become the handler's data object, the items of
// QueryContextMenu become Thunar menu items with their help texts as tooltips, and activating
// one calls InvokeCommand.
#include "shellext/host/gobject_menu.h"
#include "shellext/host/menu_host.h"

// After our own headers: GLib defines TRUE and FALSE only where they are not defined yet.
// Not every thunarx header declares C linkage.
extern "C" {
#include <thunarx/thunarx.h>
}

#define ZEMBRA_THUNAR_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct ZembraThunarMenuProvider {
  GObject parent;
};
struct ZembraThunarMenuProviderClass {
  GObjectClass parent;
};

GType g_providerType = 0;
// The server: one per Thunar process, from the first menu to the module's shutdown.
MenuHost g_host(ZEMBRA_INSTALLED_SHELLEXT);

GFile* LocationOf(void* info) { return thunarx_file_info_get_location(THUNARX_FILE_INFO(info)); }

GObject* NewItem(const char* name, const char* label, const char* tip) {
  return G_OBJECT(thunarx_menu_item_new(name, label, tip, nullptr));
}

GList* GetFileMenuItems(ThunarxMenuProvider*, GtkWidget*, GList* files) {
  return MenuItemsFor(g_host, files, LocationOf, NewItem);
}

void InitMenuProvider(gpointer iface, gpointer) {
  static_cast<ThunarxMenuProviderIface*>(iface)->get_file_menu_items = GetFileMenuItems;
}

void InitClass(gpointer, gpointer) {}
void InitInstance(GTypeInstance*, gpointer) {}

}  // namespace

ZEMBRA_THUNAR_EXPORT void thunar_extension_initialize(ThunarxProviderPlugin* plugin) {
  // The loaded server and the items' handlers live in this module: it stays loaded.
  thunarx_provider_plugin_set_resident(plugin, TRUE);
  const GTypeInfo info = {
      sizeof(ZembraThunarMenuProviderClass), nullptr, nullptr,      InitClass, nullptr, nullptr,
      sizeof(ZembraThunarMenuProvider),      0,       InitInstance, nullptr};
  g_providerType = thunarx_provider_plugin_register_type(
      plugin, G_TYPE_OBJECT, "ZembraThunarMenuProvider", &info, GTypeFlags{});
  const GInterfaceInfo menuProvider = {InitMenuProvider, nullptr, nullptr};
  thunarx_provider_plugin_add_interface(plugin, g_providerType, THUNARX_TYPE_MENU_PROVIDER,
                                        &menuProvider);
}

ZEMBRA_THUNAR_EXPORT void thunar_extension_shutdown() { g_host.Unload(); }

ZEMBRA_THUNAR_EXPORT void thunar_extension_list_types(const GType** types, gint* count) {
  *types = &g_providerType;
  *count = 1;
}
