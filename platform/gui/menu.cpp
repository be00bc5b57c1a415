// Pop-up menus from menu data. The choice is asked of the dialog service, so tests answer it.
#include "platform/gui/menu.h"

#include "platform/gui/dialog_service.h"
#include "platform/gui/menu_data.h"

using gui_detail::MenuNode;
using gui_detail::MenuOf;

HMENU LoadMenuIndirect(const MenuTemplate& menu) {
  auto* root = new MenuNode;
  root->root = true;
  root->id = static_cast<UINT>(menu.id);
  for (const PopupTemplate& popup : menu.popups) {
    MenuNode node;
    node.text = popup.text != nullptr ? popup.text : "";
    node.popup = true;
    for (const MenuItemTemplate& item : popup.items) {
      MenuNode entry;
      entry.separator = item.text == nullptr;
      entry.text = item.text != nullptr ? item.text : "";
      entry.id = item.id;
      node.children.push_back(std::move(entry));
    }
    root->children.push_back(std::move(node));
  }
  return reinterpret_cast<HMENU>(root);
}

HMENU GetSubMenu(HMENU menu, int position) {
  MenuNode* node = MenuOf(menu);
  if (node == nullptr || position < 0 || position >= static_cast<int>(node->children.size())) {
    return nullptr;
  }
  MenuNode& child = node->children[static_cast<size_t>(position)];
  return child.popup ? reinterpret_cast<HMENU>(&child) : nullptr;
}

BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND owner,
                    const RECT* unused) {
  if (MenuOf(menu) == nullptr) return FALSE;
  const UINT id = CurrentDialogService()->trackPopupMenu(menu, x, y, owner);
  if ((flags & TPM_RETURNCMD) != 0) return static_cast<BOOL>(id);
  if (id == 0) return FALSE;
  PostMessage(owner, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
  return TRUE;
}

BOOL DestroyMenu(HMENU menu) {
  MenuNode* node = MenuOf(menu);
  if (node == nullptr || !node->root) return FALSE;  // sub-menus belong to their menu
  delete node;
  return TRUE;
}
