#include <spawn.h>
#include <unistd.h>

#include <cerrno>

#include "platform/core/process.h"

extern char** environ;

bool CreateProcessFromCommandLine(std::string_view line, int* pid) {
  std::vector<std::string> args = SplitCommandLine(line);
  if (args.empty() || args[0].empty()) {
    errno = ENOENT;
    return false;
  }
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  // Our own descriptors are close-on-exec; closing everything above standard error as well
  // keeps the child clean of descriptors a host program (a file manager) left inheritable.
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

  pid_t child = -1;
  // A name without a slash is looked up in PATH, as CreateProcess searches for a bare name.
  int rc = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    errno = rc;
    return false;
  }
  if (pid) *pid = child;
  return true;
}
