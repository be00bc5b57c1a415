// The side that the GObject file managers (Nautilus, Thunar, Nemo, Caja) share: each file info
// gives its location as a GFile, and each menu item is an object with an "activate" signal.
// A module supplies those two operations of its file manager's; the rest is here.
#pragma once

#include <string>
#include <vector>

#include "shellext/host/menu_host.h"

// GLib's own declarations, so that the modules' headers meet this one in any order.
// NOLINTBEGIN(bugprone-reserved-identifier)
typedef struct _GFile GFile;
typedef struct _GList GList;
typedef struct _GObject GObject;
// NOLINTEND(bugprone-reserved-identifier)

// The location of one of the file manager's file infos (a new reference, or nullptr).
using LocationOfFile = GFile* (*)(void* fileInfo);
// A new menu item of the file manager's with that name, label and tip.
using NewMenuItem = GObject* (*)(const char* name, const char* label, const char* tip);

// Local paths of the selection, byte for byte; empty when any file has none (a remote
// location), since a part of the selection would be a different job.
std::vector<std::string> LocalPaths(GList* files, LocationOfFile locationOf);

// The file manager's items for the selection, in the handler's order, each calling
// InvokeCommand for its offset when activated; nullptr when the selection gets none.
GList* MenuItemsFor(MenuHost& host, GList* files, LocationOfFile locationOf, NewMenuItem newItem);
