#include "platform/core/pipe_holders.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "platform/core/process.h"

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

bool IsNumber(const char* name) {
  if (*name == '\0') return false;
  for (const char* c = name; *c; ++c)
    if (*c < '0' || *c > '9') return false;
  return true;
}

// True when one of the process's descriptors is one of the pipes.
bool HoldsPipe(const std::string& procDir, const std::vector<std::uint64_t>& pipes) {
  const UniqueDir fds(opendir((procDir + "/fd").c_str()));
  if (!fds) return false;  // ended meanwhile, or not ours to look into
  const int dirFd = dirfd(fds.get());
  while (const dirent* entry = readdir(fds.get())) {
    if (!IsNumber(entry->d_name)) continue;
    char target[64];
    const ssize_t n = readlinkat(dirFd, entry->d_name, target, sizeof target - 1);
    if (n <= 0) continue;
    target[n] = '\0';
    unsigned long long id = 0;
    if (std::sscanf(target, "pipe:[%llu]", &id) != 1) continue;
    if (std::find(pipes.begin(), pipes.end(), id) != pipes.end()) return true;
  }
  return false;
}

}  // namespace

std::uint64_t PipeIdOf(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode)) return 0;
  return static_cast<std::uint64_t>(st.st_ino);
}

int EndProcessesHoldingPipes(const std::vector<std::uint64_t>& pipes, int graceMs) {
  if (pipes.empty()) return 0;
  std::vector<pid_t> holders;
  const UniqueDir proc(opendir("/proc"));
  if (!proc) return 0;
  const pid_t self = getpid();
  const uid_t user = getuid();
  while (const dirent* entry = readdir(proc.get())) {
    if (!IsNumber(entry->d_name)) continue;
    const pid_t pid = static_cast<pid_t>(std::stol(entry->d_name));
    if (pid == self) continue;
    const std::string dir = std::string("/proc/") + entry->d_name;
    struct stat st {};
    if (stat(dir.c_str(), &st) != 0 || st.st_uid != user) continue;
    if (HoldsPipe(dir, pipes)) holders.push_back(pid);
  }
  const int found = static_cast<int>(holders.size());
  for (const pid_t pid : holders) kill(pid, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(graceMs);
  for (;;) {
    std::erase_if(holders, [](pid_t pid) { return !ProcessRunning(pid); });
    if (holders.empty() || std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  for (const pid_t pid : holders) kill(pid, SIGKILL);
  return found;
}
