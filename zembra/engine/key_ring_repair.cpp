#include "zembra/engine/key_ring_repair.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "platform/core/files.h"
#include "platform/core/log.h"
#include "platform/core/text.h"
#include "platform/core/unique_fd.h"

namespace {

constexpr int kLockWaits = 100;
constexpr useconds_t kLockWaitMicroseconds = 10'000;

// Only a name that is certainly absent counts as missing; a folder that cannot be read is left as
// it is.
bool Missing(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

bool Present(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ReadStart(const std::string& path, std::size_t size, bool* opened) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  *opened = fd.valid();
  std::string bytes(size, '\0');
  const std::int64_t got = fd.valid() ? ReadFd(fd.get(), bytes.data(), size) : -1;
  bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return bytes;
}

// A key box begins with its header blob: a length, type 1, version 1, two bytes of flags, "KBXf".
bool IsKeyBox(const std::string& path) {
  bool opened = false;
  const std::string head = ReadStart(path, 12, &opened);
  return head.size() == 12 && head[4] == 1 && head[5] == 1 && head.compare(8, 4, "KBXf") == 0;
}

bool ProcessLiving(long pid) {
  if (pid <= 0 || (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)) return false;
  // A killed gpg whose parent has not collected it stays a zombie; it holds nothing.
  bool opened = false;
  const std::string stat = ReadStart("/proc/" + std::to_string(pid) + "/stat", 512, &opened);
  const std::size_t close = stat.rfind(')');
  return !opened || close == std::string::npos || close + 2 >= stat.size() ||
         stat[close + 2] != 'Z';
}

// gpg's lock file holds the process id of its holder on the first line and the host on the
// second. What cannot be read or belongs to another host counts as held.
bool LockHeld(const std::string& lock) {
  if (Missing(lock)) return false;
  bool opened = false;
  const std::string text = ReadStart(lock, 128, &opened);
  if (!opened) return true;
  const std::size_t end = text.find('\n');
  if (end == std::string::npos) return true;
  char* after = nullptr;
  const long pid = std::strtol(text.c_str(), &after, 10);
  if (after != text.c_str() + end) return true;
  const std::size_t hostEnd = text.find('\n', end + 1);
  char host[256] = {};
  if (hostEnd == std::string::npos || gethostname(host, sizeof host - 1) != 0 ||
      text.compare(end + 1, hostEnd - end - 1, host) != 0)
    return true;
  return ProcessLiving(pid);
}

void SyncFolder(const std::string& folder) {
  UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) fsync(fd.get());
}

}  // namespace

std::string KeyHomeOf(gpgme_ctx_t ctx) {
  if (!ctx) return "";
  for (gpgme_engine_info_t info = gpgme_ctx_get_engine_info(ctx); info; info = info->next)
    if (info->protocol == GPGME_PROTOCOL_OpenPGP && info->home_dir) return info->home_dir;
  // GPGME asks gpgconf once a process; gpg itself reads the variable on every start.
  if (const char* env = std::getenv("GNUPGHOME"); env && *env) return env;
  const char* home = gpgme_get_dirinfo("homedir");
  return home ? home : "";
}

KeyRingState CompleteStoppedKeyRingUpdate(const std::string& home) {
  if (home.empty()) return KeyRingState::kWhole;
  const std::string box = home + "/pubring.kbx";
  const std::string next = box + ".tmp";
  const std::string backup = box + "~";
  // The one state between the renames: no key box, its backup, and the new one beside them.
  const auto stopped = [&] { return Missing(box) && Present(backup) && Present(next); };
  if (!stopped()) return KeyRingState::kWhole;
  // A living gpg makes its second rename within moments; a killed one may take as long to end,
  // and holds the lock until it has.
  for (int wait = 0; LockHeld(box + ".lock"); ++wait) {
    if (wait == kLockWaits) return KeyRingState::kWhole;
    usleep(kLockWaitMicroseconds);
    if (!stopped()) return KeyRingState::kWhole;
  }
  if (!IsKeyBox(next)) {
    LogRes(kKeyRingNotCompletedMessage, DisplayText(home), "the new key box is not whole",
           DisplayText(backup));
    return KeyRingState::kBroken;
  }
  // Never over a key box that somebody made meanwhile.
  if (!RenameNoReplace(next, box)) {
    const int error = errno;
    // Another Zembra may have completed the same update a moment before.
    if (error == EEXIST || !Missing(box)) return KeyRingState::kWhole;
    LogRes(kKeyRingNotCompletedMessage, DisplayText(home), std::strerror(error),
           DisplayText(backup));
    return KeyRingState::kBroken;
  }
  SyncFolder(home);
  LogRes(kKeyRingCompletedMessage, DisplayText(home));
  return KeyRingState::kCompleted;
}

KeyRingState CompleteStoppedKeyRingUpdate(gpgme_ctx_t ctx) {
  return CompleteStoppedKeyRingUpdate(KeyHomeOf(ctx));
}
