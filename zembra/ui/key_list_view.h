// The key list control of the operations window.
#pragma once

#include "platform/gui/win_api.h"

// Sets the key list's extended styles (full-row select, grid lines) and inserts its six
// left-aligned columns, "Key ID" to "Name", sized by their shares of the client width less a
// vertical scroll bar.
void InsertKeyListColumns(HWND list);
