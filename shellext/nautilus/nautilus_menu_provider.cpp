// The Nautilus extension module: a menu provider that hosts the shell extension. The selected
// files become the handler's data object, the items of QueryContextMenu become Nautilus menu
// items with their help texts as tips, and activating one calls InvokeCommand.
//
// The server is found as a COM client finds it, through its class key's InprocServer32; an
// installation registered for another user falls back to the installed module file.
#include "shellext/host/gobject_menu.h"
#include "shellext/host/menu_host.h"

// After our own headers: GLib defines TRUE and FALSE only where they are not defined yet. The
// module entry points are declared there without C linkage.
extern "C" {
#include <nautilus-extension.h>
}

#define ZEMBRA_NAUTILUS_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct ZembraMenuProvider {
  GObject parent;
};
struct ZembraMenuProviderClass {
  GObjectClass parent;
};

GType g_providerType = 0;
// The server: one per Nautilus process, from the first menu to the module's shutdown.
MenuHost g_host(ZEMBRA_INSTALLED_SHELLEXT);

GFile* LocationOf(void* info) { return nautilus_file_info_get_location(NAUTILUS_FILE_INFO(info)); }

GObject* NewItem(const char* name, const char* label, const char* tip) {
  return G_OBJECT(nautilus_menu_item_new(name, label, tip, nullptr));
}

GList* GetFileItems(NautilusMenuProvider*, GList* files) {
  return MenuItemsFor(g_host, files, LocationOf, NewItem);
}

GList* GetBackgroundItems(NautilusMenuProvider*, NautilusFileInfo*) { return nullptr; }

void InitMenuProvider(gpointer iface, gpointer) {
  auto* provider = static_cast<NautilusMenuProviderInterface*>(iface);
  provider->get_file_items = GetFileItems;
  provider->get_background_items = GetBackgroundItems;
}

void InitClass(gpointer, gpointer) {}
void InitInstance(GTypeInstance*, gpointer) {}

}  // namespace

ZEMBRA_NAUTILUS_EXPORT void nautilus_module_initialize(GTypeModule* module) {
  const GTypeInfo info = {
      sizeof(ZembraMenuProviderClass), nullptr, nullptr,      InitClass, nullptr, nullptr,
      sizeof(ZembraMenuProvider),      0,       InitInstance, nullptr};
  g_providerType =
      g_type_module_register_type(module, G_TYPE_OBJECT, "ZembraMenuProvider", &info, GTypeFlags{});
  const GInterfaceInfo menuProvider = {InitMenuProvider, nullptr, nullptr};
  g_type_module_add_interface(module, g_providerType, NAUTILUS_TYPE_MENU_PROVIDER, &menuProvider);
}

ZEMBRA_NAUTILUS_EXPORT void nautilus_module_shutdown() { g_host.Unload(); }

ZEMBRA_NAUTILUS_EXPORT void nautilus_module_list_types(const GType** types, int* count) {
  *types = &g_providerType;
  *count = 1;
}
