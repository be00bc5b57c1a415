// Whether an X display named as in DISPLAY can be reached, asked before a toolkit that ends the
// process when it cannot connect is started.
#pragma once

#include <string_view>

// False when the display is a local one ("[unix]:N[.S]") on whose socket no server listens,
// or when the name is empty or malformed. Nothing connects to the server. Displays on other hosts
// are assumed reachable: a connection over the network may take long to fail, and the toolkit
// reports it then.
bool IsXDisplayReachable(std::string_view display);
