// What the shell-extension tests share: the built server, a folder in which a copy of it sits
// beside a probe launcher that records its argv, and a registry of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shellext/host/shell_module.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_folder.h"

std::string BuiltFile(const std::string& name);  // name in the build's bin folder
inline std::string BuiltShellExt() { return BuiltFile("ZembraShellExt.so"); }

// A copy of the server in a temporary folder with "ZembraShellExtApp" beside it: a script that
// writes its arguments (without argument 0), each ended by a NUL, to the file "argv" there.
class ProbeFolder {
 public:
  ProbeFolder();
  const std::string& path() const { return m_folder.path(); }
  std::string module() const { return m_folder.path("ZembraShellExt.so"); }
  // The arguments the probe received, once it has run (nullopt when it has not in time).
  std::optional<std::vector<std::string>> WaitForArgv() const;
  // Waits until the probe has run that many times in all; false when it ran fewer in time, or
  // more.
  bool WaitForRuns(int count) const;
  // Whether the probe ran at all within a short wait.
  bool Ran() const;

 private:
  TempFolder m_folder;
};

// ZEMBRA_REGISTRY_DIR at a fresh folder for the object's life.
class ScopedRegistry {
 public:
  ScopedRegistry();
  const std::string& folder() const { return m_folder.path(); }
  std::string hiveFile(const char* name) const { return m_folder.path(name); }
  // zembra-reg export of the key ("HKCR", "HKLM\\..."): what a person would see.
  std::string Export(const std::string& key) const;

 private:
  TempFolder m_folder;
  ScopedEnv m_env;
};

// The menu a session shows, one line per item as zembra-shell-host prints it.
std::vector<std::string> MenuLines(ContextMenuSession& menu);
