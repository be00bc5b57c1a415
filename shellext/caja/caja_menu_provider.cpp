// The Caja extension module: a menu provider that hosts the shell extension, as the Nautilus
// module does. The selected files become the handler's data object, the items of
// QueryContextMenu become Caja menu items with their help texts as tips, and activating one
// calls InvokeCommand.
#include "shellext/host/gobject_menu.h"
#include "shellext/host/menu_host.h"

// After our own headers: GLib defines TRUE and FALSE only where they are not defined yet. The
// module entry points are declared there without C linkage.
extern "C" {
#include <libcaja-extension/caja-menu-provider.h>
}

#define ZEMBRA_CAJA_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct ZembraCajaMenuProvider {
  GObject parent;
};
struct ZembraCajaMenuProviderClass {
  GObjectClass parent;
};

GType g_providerType = 0;
// The server: one per Caja process, from the first menu to the module's shutdown.
MenuHost g_host(ZEMBRA_INSTALLED_SHELLEXT);

GFile* LocationOf(void* info) {
  return caja_file_info_get_location(static_cast<CajaFileInfo*>(info));
}

GObject* NewItem(const char* name, const char* label, const char* tip) {
  return G_OBJECT(caja_menu_item_new(name, label, tip, nullptr));
}

GList* GetFileItems(CajaMenuProvider*, GtkWidget*, GList* files) {
  return MenuItemsFor(g_host, files, LocationOf, NewItem);
}

GList* GetBackgroundItems(CajaMenuProvider*, GtkWidget*, CajaFileInfo*) { return nullptr; }

void InitMenuProvider(gpointer iface, gpointer) {
  auto* provider = static_cast<CajaMenuProviderIface*>(iface);
  provider->get_file_items = GetFileItems;
  provider->get_background_items = GetBackgroundItems;
}

void InitClass(gpointer, gpointer) {}
void InitInstance(GTypeInstance*, gpointer) {}

}  // namespace

ZEMBRA_CAJA_EXPORT void caja_module_initialize(GTypeModule* module) {
  const GTypeInfo info = {
      sizeof(ZembraCajaMenuProviderClass), nullptr, nullptr,      InitClass, nullptr, nullptr,
      sizeof(ZembraCajaMenuProvider),      0,       InitInstance, nullptr};
  g_providerType = g_type_module_register_type(module, G_TYPE_OBJECT, "ZembraCajaMenuProvider",
                                               &info, GTypeFlags{});
  const GInterfaceInfo menuProvider = {InitMenuProvider, nullptr, nullptr};
  g_type_module_add_interface(module, g_providerType, CAJA_TYPE_MENU_PROVIDER, &menuProvider);
}

ZEMBRA_CAJA_EXPORT void caja_module_shutdown() { g_host.Unload(); }

ZEMBRA_CAJA_EXPORT void caja_module_list_types(const GType** types, int* count) {
  *types = &g_providerType;
  *count = 1;
}
