#include "tests/support/run_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "platform/core/unique_fd.h"

extern char** environ;

namespace {

struct Pipe {
  UniqueFd read;
  UniqueFd write;
  Pipe() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
      throw std::system_error(errno, std::generic_category(), "pipe2");
    read.reset(fds[0]);
    write.reset(fds[1]);
  }
};

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& changes) {
  std::vector<std::string> result;
  for (char** e = environ; *e; ++e) result.emplace_back(*e);
  for (const std::string& change : changes) {
    std::string name = change.substr(0, change.find('='));
    std::erase_if(result, [&](const std::string& entry) {
      return entry.compare(0, name.size() + 1, name + "=") == 0;
    });
    if (change.find('=') != std::string::npos) result.push_back(change);
  }
  return result;
}

std::vector<char*> PointersOf(std::vector<std::string>& strings) {
  std::vector<char*> result;
  for (std::string& s : strings) result.push_back(s.data());
  result.push_back(nullptr);
  return result;
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const ProcessResult& result) {
  return os << "exit " << result.exitCode << "\n--- stdout:\n"
            << result.out << "\n--- stderr:\n"
            << result.err;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input,
                         const std::vector<std::string>& env) {
  if (argv.empty()) throw std::invalid_argument("RunProcess: no program");
  // A child that exits without reading all its input must not kill us.
  signal(SIGPIPE, SIG_IGN);

  Pipe in, out, err;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in.read.get(), 0);
  posix_spawn_file_actions_adddup2(&actions, out.write.get(), 1);
  posix_spawn_file_actions_adddup2(&actions, err.write.get(), 2);

  std::vector<std::string> args = argv;
  std::vector<std::string> environment = MergedEnvironment(env);
  std::vector<char*> argPointers = PointersOf(args);
  std::vector<char*> envPointers = PointersOf(environment);
  pid_t pid = 0;
  int rc =
      posix_spawnp(&pid, argPointers[0], &actions, nullptr, argPointers.data(), envPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::system_error(rc, std::generic_category(), "posix_spawnp " + argv[0]);
  in.read.reset();
  out.write.reset();
  err.write.reset();

  ProcessResult result;
  std::size_t written = 0;
  if (input.empty())
    in.write.reset();
  else
    fcntl(in.write.get(), F_SETFL, O_NONBLOCK);

  while (out.read.valid() || err.read.valid()) {
    pollfd fds[3] = {
        {out.read.get(), POLLIN, 0}, {err.read.get(), POLLIN, 0}, {in.write.get(), POLLOUT, 0}};
    if (poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    char buffer[65536];
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0)
        (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
      else if (n == 0 || errno != EINTR)
        (i == 0 ? out.read : err.read).reset();
    }
    if (fds[2].revents & (POLLOUT | POLLERR | POLLHUP)) {
      ssize_t n = ::write(in.write.get(), input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if (n < 0 && errno != EINTR && errno != EAGAIN) in.write.reset();
      if (written == input.size()) in.write.reset();
    }
  }
  in.write.reset();

  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}
