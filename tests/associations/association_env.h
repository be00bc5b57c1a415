// A private desktop for one test: registry hives, HOME and the XDG folders in a temporary
// folder, the system's shared MIME database, and an update-desktop-database on PATH that only
// records that it ran. The association table starts from zero flags.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/scoped_env.h"
#include "tests/support/temp_folder.h"

class AssociationEnv {
 public:
  // recordNotifications false: the real update-desktop-database runs. ownRegistry false: the
  // registry folder set before (a key ring's) is kept.
  explicit AssociationEnv(bool recordNotifications = true, bool ownRegistry = true);
  ~AssociationEnv();

  const TempFolder& folder() const { return m_folder; }
  std::string configHome() const { return m_folder.path("config"); }
  std::string dataHome() const { return m_folder.path("data"); }
  std::string mimeAppsList() const { return configHome() + "/mimeapps.list"; }
  std::string desktopEntry() const { return dataHome() + "/applications/zembra.desktop"; }
  // The environment a child process needs to see the same desktop.
  std::vector<std::string> environment() const;

  // How often the association change notice ran.
  int notifications() const;
  // `zembra-reg export KEY` (its output; "" when the key is missing).
  std::string exportKey(const std::string& key) const;
  // Installs another program's desktop entry in the user's applications folder.
  void installApplication(const std::string& id, const std::string& name, const std::string& exec,
                          const std::string& mimeTypes) const;

 private:
  TempFolder m_folder;
  std::vector<std::unique_ptr<ScopedEnv>> m_env;
};

// Standard error goes to a file of the test's folder while the object lives.
class StderrCapture {
 public:
  explicit StderrCapture(std::string file);
  ~StderrCapture();
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;
  std::string text() const;

 private:
  std::string m_file;
  int m_saved = -1;
};

// The build's program, which the associations point to.
std::string BuildProgramPath();

// Every row of g_fileAssociations back to zero flags and no text.
void ResetAssociationTable();
