// Nautilus's side of its extension modules, for tests: the module loaded through its entry
// points into a type module as Nautilus loads it, its menu provider asked for the items of file
// infos of the test's own (which know only their location), and an item activated.
#pragma once

#include <string>

#include "tests/shellext/gobject_test_host.h"

using NautilusItemShown = ItemShown;

class NautilusTestHost : public GObjectTestHost {
 public:
  // Loads the module file and makes its one provider; ok() says whether that worked.
  explicit NautilusTestHost(const std::string& moduleFile);
};
