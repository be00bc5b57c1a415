// The Nautilus extension module: a menu provider that hosts the shell extension. The selected
// files become the handler's data object, the items of QueryContextMenu become Nautilus menu
// items with their help texts as tips, and activating one calls InvokeCommand.
//
// The server is found as a COM client finds it, through its class key's InprocServer32; an
// installation registered for another user falls back to the installed module file.
#include <memory>
#include <string>
#include <vector>

#include "platform/core/registry.h"
#include "platform/core/text.h"
#include "platform/core/trace.h"
#include "shellext/host/shell_module.h"
#include "shellext/shell_ext_guids.h"

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
// The loaded server: one per Nautilus process, from the first menu to the module's shutdown.
std::unique_ptr<ShellExtModule> g_server;

std::string RegisteredServerFile() {
  const std::string key = "CLSID\\" + GuidToRegistryString(CLSID_ZembraShlExt) + "\\InprocServer32";
  RegKey opened;
  if (RegOpenKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, opened.put()) !=
      ERROR_SUCCESS)
    return {};
  DWORD type = 0, size = 0;
  if (RegQueryValueEx(opened.get(), nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_SZ || size == 0)
    return {};
  std::string file(size, '\0');
  if (RegQueryValueEx(opened.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(file.data()),
                      &size) != ERROR_SUCCESS)
    return {};
  file.resize(file.find('\0'));
  return file;
}

const ShellExtModule* Server() {
  if (g_server && g_server->ok()) return g_server.get();
  std::string file = RegisteredServerFile();
  if (file.empty()) file = ZEMBRA_INSTALLED_SHELLEXT;
  g_server = std::make_unique<ShellExtModule>(file);
  if (!g_server->ok()) {
    TraceText("Zembra: " + DisplayText(g_server->error()));
    return nullptr;
  }
  return g_server.get();
}

// What an item's activation needs: the menu's handler (shared by its items) and the offset.
struct Activation {
  std::shared_ptr<ContextMenuSession> menu;
  UINT offset;
};

void OnActivate(NautilusMenuItem*, gpointer data) {
  auto* activation = static_cast<Activation*>(data);
  activation->menu->Invoke(activation->offset);
}

void FreeActivation(gpointer data, GClosure*) { delete static_cast<Activation*>(data); }

// Local paths of the selection; empty when any file has none (a remote location), since a
// part of the selection would be a different job.
std::vector<std::string> SelectedPaths(GList* files) {
  std::vector<std::string> paths;
  for (GList* it = files; it; it = it->next) {
    GFile* location = nautilus_file_info_get_location(NAUTILUS_FILE_INFO(it->data));
    char* path = location ? g_file_get_path(location) : nullptr;
    if (location) g_object_unref(location);
    if (!path) return {};
    paths.emplace_back(path);
    g_free(path);
  }
  return paths;
}

GList* GetFileItems(NautilusMenuProvider*, GList* files) {
  const std::vector<std::string> paths = SelectedPaths(files);
  if (paths.empty()) return nullptr;
  const ShellExtModule* server = Server();
  if (!server) return nullptr;
  auto menu = std::make_shared<ContextMenuSession>(*server, paths);
  if (!menu->ok()) return nullptr;

  GList* items = nullptr;
  // The items offered, for whoever follows the file manager's side in the trace.
  std::string shownTexts;
  for (const ShellMenuItem& shown : menu->items()) {
    // Nautilus draws its own separators between providers.
    if (shown.separator) continue;
    shownTexts += " \"" + shown.text + "\"";
    const std::string name = "ZembraShlExt::Item" + std::to_string(shown.offset);
    NautilusMenuItem* item =
        nautilus_menu_item_new(name.c_str(), shown.text.c_str(), shown.helpText.c_str(), nullptr);
    g_signal_connect_data(item, "activate", G_CALLBACK(OnActivate),
                          new Activation{menu, shown.offset}, FreeActivation, GConnectFlags{});
    items = g_list_append(items, item);
  }
  if (TraceEnabled())
    TraceText("Zembra: context menu for " + std::to_string(paths.size()) +
              " file(s):" + shownTexts);
  return items;
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

ZEMBRA_NAUTILUS_EXPORT void nautilus_module_shutdown() { g_server.reset(); }

ZEMBRA_NAUTILUS_EXPORT void nautilus_module_list_types(const GType** types, int* count) {
  *types = &g_providerType;
  *count = 1;
}
