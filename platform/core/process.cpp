#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>

#include "platform/core/exec_arguments.h"
#include "platform/core/files.h"
#include "platform/core/process.h"

extern char** environ;

bool CreateProcessFromCommandLine(std::string_view line, int* pid) {
  const ExecArguments args(line);
  if (!args.valid()) return false;

  // Our own descriptors are close-on-exec; closing everything above standard error as well
  // keeps the child clean of descriptors a host program (a file manager) left inheritable.
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

  pid_t child = -1;
  // A name without a slash is looked up in PATH, as CreateProcess searches for a bare name.
  int rc = posix_spawnp(&child, args.program(), &actions, nullptr, args.argv(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    errno = rc;
    return false;
  }
  if (pid) *pid = child;
  return true;
}

void IgnoreFileSizeLimitSignal() {
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGXFSZ, &action, nullptr);
}

bool ProcessRunning(long pid) {
  if (pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)) return false;
  // A killed process whose parent has not collected it stays a zombie; it holds nothing.
  const std::optional<std::string> stat =
      ReadStartOf("/proc/" + std::to_string(pid) + "/stat", 512);
  if (!stat) return true;
  const std::size_t close = stat->rfind(')');
  return close == std::string::npos || close + 2 >= stat->size() || (*stat)[close + 2] != 'Z';
}

std::string FindProgramInPath(std::string_view name) {
  const char* variable = std::getenv("PATH");
  const std::string_view path = variable != nullptr ? variable : "/bin:/usr/bin";
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = std::min(path.find(':', start), path.size());
    std::string candidate(path.substr(start, end - start));
    // An empty entry is the current folder.
    if (!candidate.empty() && candidate.back() != '/') candidate += '/';
    candidate += name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    if (end == path.size()) return {};
    start = end + 1;
  }
}

std::string HostName() {
  char host[256] = {};
  return ::gethostname(host, sizeof host - 1) == 0 ? host : "";
}
