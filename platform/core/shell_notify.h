// The shell's change notification. On Linux desktops the notice that file associations changed
// is a refresh of the user's desktop-entry cache, so that file managers see the new defaults.
#pragma once

#include "platform/core/win_types.h"

constexpr LONG SHCNE_ASSOCCHANGED = 0x08000000;
constexpr UINT SHCNF_IDLIST = 0x0000;

// SHCNE_ASSOCCHANGED runs update-desktop-database on the user's applications folder, where the
// tool is installed and the folder exists, and waits for it. Other events do nothing.
void SHChangeNotify(LONG eventId, UINT flags, const void* item1, const void* item2);
