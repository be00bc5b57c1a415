#include "shellext/com/shell_types.h"

struct MenuModel {
  std::vector<MenuItem> items;
};

HMENU CreatePopupMenu() { return new MenuModel; }

BOOL DestroyMenu(HMENU menu) {
  if (!menu) return FALSE;
  delete menu;
  return TRUE;
}

BOOL InsertMenuW(HMENU menu, UINT position, UINT flags, UINT_PTR id, const char* text) {
  // Only insertion by position is offered: nothing in this code looks items up by command id.
  if (!menu || !(flags & MF_BYPOSITION)) return FALSE;
  MenuItem item;
  item.flags = flags & ~MF_BYPOSITION;
  item.id = static_cast<UINT>(id);
  if (!(flags & MF_SEPARATOR)) {
    if (!text) return FALSE;
    item.text = text;
  }
  const std::size_t at = position < menu->items.size() ? position : menu->items.size();
  menu->items.insert(menu->items.begin() + static_cast<std::ptrdiff_t>(at), std::move(item));
  return TRUE;
}

int GetMenuItemCount(HMENU menu) { return menu ? static_cast<int>(menu->items.size()) : -1; }

bool GetMenuItem(HMENU menu, int position, MenuItem& item) {
  if (!menu || position < 0 || static_cast<std::size_t>(position) >= menu->items.size())
    return false;
  item = menu->items[static_cast<std::size_t>(position)];
  return true;
}
