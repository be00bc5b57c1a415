#include "platform/core/shell_notify.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/core/xdg_dirs.h"

extern char** environ;

namespace {

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

void SHChangeNotify(LONG eventId, UINT flags, const void* item1, const void* item2) {
  if (eventId != SHCNE_ASSOCCHANGED) return;
  const std::string folder = XdgDataHome() + "/applications";
  if (!IsFolder(folder)) return;
  // Looked up in PATH; where it is not installed there is nothing to refresh.
  std::string tool = "update-desktop-database";
  std::string quiet = "-q";
  std::vector<char*> argv{tool.data(), quiet.data(), const_cast<char*>(folder.c_str()), nullptr};
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return;
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  pid_t child = -1;
  const int rc = posix_spawnp(&child, tool.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return;
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}
