// The XDG base folders of the current user, as the desktop's programs find them.
#pragma once

#include <string>
#include <vector>

// $HOME, or the home folder of the user's password entry when it is unset; "" when neither.
std::string UserHomeFolder();
// $XDG_DATA_HOME, or $HOME/.local/share when it is unset or not absolute.
std::string XdgDataHome();
// $XDG_CONFIG_HOME, or $HOME/.config.
std::string XdgConfigHome();
// $XDG_DATA_DIRS in order, or /usr/local/share and /usr/share.
std::vector<std::string> XdgDataDirs();
// $XDG_CONFIG_DIRS in order, or /etc/xdg.
std::vector<std::string> XdgConfigDirs();
// The names in $XDG_CURRENT_DESKTOP, lower-cased, in order.
std::vector<std::string> XdgCurrentDesktops();
