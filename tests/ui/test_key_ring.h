// What a window test needs around it: a GnuPG home with two usable keys (made once for the test
// program, its agent stopped at the end), and per test a fresh registry that names a full
// installation, so that the engine uses that home.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/ui/temp_folder.h"

// The GnuPG home of the test program; made on first use.
const std::string& TestKeyHome();

// A fresh registry folder with HKLM "SOFTWARE\Orvel Ltd\Zembra" Type=Full, and GNUPGHOME set to
// the test key home, for the life of the object.
class FullInstallation {
 public:
  FullInstallation();
  const std::filesystem::path& folder() const { return m_folder.path(); }

 private:
  TempFolder m_folder;
  ScopedEnv m_registry;
  ScopedEnv m_home;
};
