#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/core/exec_arguments.h"
#include "platform/core/process.h"
#include "platform/core/unique_fd.h"

extern char** environ;

bool CreateDetachedProcessFromCommandLine(std::string_view line) {
  // Everything the children need is made before forking: a host may have threads.
  const ExecArguments args(line);
  if (!args.valid()) return false;

  // The grandchild reports a failed exec through this pipe; a successful exec closes it.
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  UniqueFd readEnd(fds[0]);
  UniqueFd writeEnd(fds[1]);

  const pid_t middle = fork();
  if (middle < 0) return false;
  if (middle == 0) {
    const pid_t child = fork();
    if (child == 0) {
      // Descriptors a host left inheritable stay behind; the report pipe closes on exec.
      if (fds[1] > STDERR_FILENO + 1)
        close_range(STDERR_FILENO + 1, static_cast<unsigned>(fds[1]) - 1, 0);
      close_range(static_cast<unsigned>(fds[1]) + 1, ~0u, 0);
      setsid();
      execvp(args.program(), args.argv());
      const int error = errno;
      ssize_t ignored = ::write(fds[1], &error, sizeof error);
      (void)ignored;
      _exit(127);
    }
    _exit(child < 0 ? 1 : 0);
  }
  writeEnd.reset();
  int status = 0;
  while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    errno = EAGAIN;
    return false;
  }
  int error = 0;
  ssize_t n;
  while ((n = ::read(readEnd.get(), &error, sizeof error)) < 0 && errno == EINTR) {
  }
  if (n == static_cast<ssize_t>(sizeof error)) {
    errno = error;
    return false;
  }
  return true;
}
