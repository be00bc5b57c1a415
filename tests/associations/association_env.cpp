#include "tests/associations/association_env.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include <cstdlib>
#include <filesystem>

#include "tests/support/run_process.h"
#include "zembra/associations/file_associations.h"

namespace fs = std::filesystem;

AssociationEnv::AssociationEnv(bool recordNotifications, bool ownRegistry) {
  for (const char* sub : {"reg", "home", "config", "data", "etc-xdg", "bin", "runtime"}) {
    fs::create_directories(m_folder.path(sub));
  }
  fs::permissions(m_folder.path("runtime"), fs::perms::owner_all);
  auto set = [&](const char* name, std::optional<std::string> value) {
    m_env.push_back(std::make_unique<ScopedEnv>(name, std::move(value)));
  };
  if (ownRegistry) set("ZEMBRA_REGISTRY_DIR", m_folder.path("reg"));
  set("HOME", m_folder.path("home"));
  set("XDG_CONFIG_HOME", configHome());
  set("XDG_DATA_HOME", dataHome());
  set("XDG_CONFIG_DIRS", m_folder.path("etc-xdg"));
  set("XDG_CURRENT_DESKTOP", std::nullopt);
  if (recordNotifications) {
    const std::string tool = m_folder.path("bin/update-desktop-database");
    WriteFile(tool, "#!/bin/sh\necho \"$*\" >> \"" + m_folder.path("notifications") + "\"\n");
    ::chmod(tool.c_str(), 0755);
    const char* path = std::getenv("PATH");
    set("PATH", m_folder.path("bin") + ":" + (path ? path : "/usr/bin:/bin"));
  }
  ResetAssociationTable();
}

AssociationEnv::~AssociationEnv() { ResetAssociationTable(); }

std::vector<std::string> AssociationEnv::environment() const {
  std::vector<std::string> env;
  for (const char* name : {"ZEMBRA_REGISTRY_DIR", "HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME",
                           "XDG_CONFIG_DIRS", "PATH"}) {
    if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
  }
  env.push_back("XDG_CURRENT_DESKTOP");
  return env;
}

int AssociationEnv::notifications() const {
  const std::string log = m_folder.path("notifications");
  if (!fs::exists(log)) return 0;
  const std::string text = ReadFile(log);
  int lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

std::string AssociationEnv::exportKey(const std::string& key) const {
  const ProcessResult r =
      RunProcess({std::string(ZEMBRA_TEST_BIN_DIR) + "/zembra-reg", "export", key});
  return r.exitCode == 0 ? r.out : "";
}

void AssociationEnv::installApplication(const std::string& id, const std::string& name,
                                        const std::string& exec,
                                        const std::string& mimeTypes) const {
  fs::create_directories(dataHome() + "/applications");
  WriteFile(dataHome() + "/applications/" + id, "[Desktop Entry]\nType=Application\nName=" + name +
                                                    "\nExec=" + exec + "\nMimeType=" + mimeTypes +
                                                    "\n");
}

std::string BuildProgramPath() { return std::string(ZEMBRA_TEST_BIN_DIR) + "/Zembra"; }

void ResetAssociationTable() {
  for (FileAssociation& row : g_fileAssociations) {
    row.current = 0;
    row.wanted = 0;
    row.currentText.reset();
  }
}

StderrCapture::StderrCapture(std::string file) : m_file(std::move(file)) {
  std::fflush(stderr);
  m_saved = ::dup(STDERR_FILENO);
  const int fd = ::open(m_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ::dup2(fd, STDERR_FILENO);
  ::close(fd);
}

StderrCapture::~StderrCapture() {
  std::fflush(stderr);
  ::dup2(m_saved, STDERR_FILENO);
  ::close(m_saved);
}

std::string StderrCapture::text() const {
  std::fflush(stderr);
  return ReadFile(m_file);
}
