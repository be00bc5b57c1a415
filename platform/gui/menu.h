// Pop-up menus from menu data, tracked at a screen point; the choice arrives at the owner as
// WM_COMMAND with the item's id (notification code 0).
#pragma once

#include <vector>

#include "platform/gui/win_api.h"

struct MenuItemTemplate {
  const char* text = "";  // nullptr: a separator
  UINT id = 0;
};
struct PopupTemplate {
  const char* text = "";
  std::vector<MenuItemTemplate> items;
};
struct MenuTemplate {
  int id = 0;
  std::vector<PopupTemplate> popups;
};

constexpr UINT TPM_LEFTBUTTON = 0x0000;
constexpr UINT TPM_RIGHTBUTTON = 0x0002;
constexpr UINT TPM_RETURNCMD = 0x0100;

HMENU LoadMenuIndirect(const MenuTemplate& menu);
HMENU GetSubMenu(HMENU menu, int position);
// Without TPM_RETURNCMD the chosen id is posted to the owner as WM_COMMAND; returns nonzero
// when an item was chosen.
BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND owner,
                    const RECT* unused);
BOOL DestroyMenu(HMENU menu);
