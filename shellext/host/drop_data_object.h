// A data object that offers a list of paths as CF_HDROP, as a file manager hands its selection
// to a context-menu handler.
#pragma once

#include <string>
#include <vector>

#include "shellext/com/shell_types.h"

// A new object with one reference; the caller releases it.
IDataObject* CreateDropDataObject(std::vector<std::string> paths);
