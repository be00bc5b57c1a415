// Private to platform/gui: what an HMENU points at.
#pragma once

#include <string>
#include <vector>

#include "platform/gui/menu.h"

namespace gui_detail {

struct MenuNode {
  std::string text;
  UINT id = 0;
  bool separator = false;
  bool popup = false;
  bool root = false;
  std::vector<MenuNode> children;
};

inline MenuNode* MenuOf(HMENU menu) { return reinterpret_cast<MenuNode*>(menu); }

}  // namespace gui_detail
