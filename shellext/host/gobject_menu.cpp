#include "shellext/host/gobject_menu.h"

#include <memory>

// After our own headers: GLib defines TRUE and FALSE only where they are not defined yet.
#include <gio/gio.h>

namespace {

// What an item's activation needs: the menu's handler (shared by its items) and the offset.
struct Activation {
  std::shared_ptr<ContextMenuSession> menu;
  UINT offset;
};

void OnActivate(GObject*, gpointer data) {
  auto* activation = static_cast<Activation*>(data);
  activation->menu->Invoke(activation->offset);
}

void FreeActivation(gpointer data, GClosure*) { delete static_cast<Activation*>(data); }

}  // namespace

std::vector<std::string> LocalPaths(GList* files, LocationOfFile locationOf) {
  std::vector<std::string> paths;
  for (GList* it = files; it; it = it->next) {
    GFile* location = locationOf(it->data);
    char* path = location ? g_file_get_path(location) : nullptr;
    if (location) g_object_unref(location);
    if (!path) return {};
    paths.emplace_back(path);
    g_free(path);
  }
  return paths;
}

GList* MenuItemsFor(MenuHost& host, GList* files, LocationOfFile locationOf, NewMenuItem newItem) {
  const std::shared_ptr<ContextMenuSession> menu = host.MenuFor(LocalPaths(files, locationOf));
  if (!menu) return nullptr;
  GList* items = nullptr;
  for (const ShellMenuItem& shown : ShownItems(*menu)) {
    GObject* item =
        newItem(ShownItemName(shown).c_str(), shown.text.c_str(), shown.helpText.c_str());
    g_signal_connect_data(item, "activate", G_CALLBACK(OnActivate),
                          new Activation{menu, shown.offset}, FreeActivation, GConnectFlags{});
    items = g_list_append(items, item);
  }
  return items;
}
