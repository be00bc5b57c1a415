#include "zembra/engine/key_ring_repair.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/core/files.h"
#include "platform/core/log.h"
#include "platform/core/process.h"
#include "platform/core/text.h"
#include "platform/core/xdg_dirs.h"
#include "zembra/engine/message_ids.h"

namespace {

constexpr int kLockWaits = 100;
constexpr auto kLockWait = std::chrono::milliseconds(10);

// A key box begins with its header blob: a length, type 1, version 1, two bytes of flags, "KBXf".
bool IsKeyBox(const std::string& path) {
  const std::string head = ReadStartOf(path, 12).value_or("");
  return head.size() == 12 && head[4] == 1 && head[5] == 1 && head.compare(8, 4, "KBXf") == 0;
}

// gpg's lock file holds the process id of its holder on the first line and the host on the
// second. What cannot be read or belongs to another host counts as held.
bool LockHeld(const std::string& lock) {
  if (IsAbsent(lock)) return false;
  const std::optional<std::string> read = ReadStartOf(lock, 128);
  if (!read) return true;
  const std::string& text = *read;
  const std::size_t end = text.find('\n');
  if (end == std::string::npos) return true;
  char* after = nullptr;
  const long pid = std::strtol(text.c_str(), &after, 10);
  if (after != text.c_str() + end) return true;
  const std::size_t hostEnd = text.find('\n', end + 1);
  const std::string host = HostName();
  if (hostEnd == std::string::npos || host.empty() ||
      text.compare(end + 1, hostEnd - end - 1, host) != 0)
    return true;
  return ProcessRunning(pid);
}

}  // namespace

std::string KeyHomeOf(gpgme_ctx_t ctx) {
  if (!ctx) return "";
  for (gpgme_engine_info_t info = gpgme_ctx_get_engine_info(ctx); info; info = info->next)
    if (info->protocol == GPGME_PROTOCOL_OpenPGP && info->home_dir) return info->home_dir;
  // GPGME asks gpgconf once a process; gpg itself reads the variable on every start.
  if (const char* env = std::getenv("GNUPGHOME"); env && *env) return env;
  if (const char* home = gpgme_get_dirinfo("homedir")) return home;
  // GPGME found gpg without gpgconf (see InitEngine), so it knows no home: gpg's own default.
  const std::string user = UserHomeFolder();
  return user.empty() ? "" : user + "/.gnupg";
}

KeyRingState CompleteStoppedKeyRingUpdate(const std::string& home) {
  if (home.empty()) return KeyRingState::kWhole;
  const std::string box = home + "/pubring.kbx";
  const std::string next = box + ".tmp";
  const std::string backup = box + "~";
  // The one state between the renames: no key box, its backup, and the new one beside them.
  const auto stopped = [&] {
    return IsAbsent(box) && IsRegularFileNoFollow(backup) && IsRegularFileNoFollow(next);
  };
  if (!stopped()) return KeyRingState::kWhole;
  // A living gpg makes its second rename within moments; a killed one may take as long to end,
  // and holds the lock until it has.
  for (int wait = 0; LockHeld(box + ".lock"); ++wait) {
    if (wait == kLockWaits) return KeyRingState::kWhole;
    std::this_thread::sleep_for(kLockWait);
    if (!stopped()) return KeyRingState::kWhole;
  }
  if (!IsKeyBox(next)) {
    LogRes(IDS_KEY_RING_NOT_COMPLETED, DisplayText(home), "the new key box is not whole",
           DisplayText(backup));
    return KeyRingState::kBroken;
  }
  // Never over a key box that somebody made meanwhile.
  if (!RenameNoReplace(next, box)) {
    const int error = errno;
    // Another Zembra may have completed the same update a moment before.
    if (error == EEXIST || !IsAbsent(box)) return KeyRingState::kWhole;
    LogRes(IDS_KEY_RING_NOT_COMPLETED, DisplayText(home), std::strerror(error),
           DisplayText(backup));
    return KeyRingState::kBroken;
  }
  SyncFolder(home);
  LogRes(IDS_KEY_RING_COMPLETED, DisplayText(home));
  return KeyRingState::kCompleted;
}

KeyRingState CompleteStoppedKeyRingUpdate(gpgme_ctx_t ctx) {
  return CompleteStoppedKeyRingUpdate(KeyHomeOf(ctx));
}
