#include "platform/core/files.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace {

// Share modes as open-file-description locks over the whole file: they belong to the opening,
// not the process, so they conflict between any two openings, and end with the descriptor.
bool LockWholeFile(int fd, short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;
  lock.l_pid = 0;
  while (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
    if (errno == EINTR) continue;
    // File systems without locks do not stop the work; only a conflicting holder does.
    return errno != EAGAIN && errno != EACCES;
  }
  return true;
}

std::string RandomSuffix() {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char bytes[8];
  if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
    // Without randomness, O_EXCL and the retries still keep names apart.
    auto mix = static_cast<unsigned long>(::getpid()) * 2654435761u ^
               reinterpret_cast<std::uintptr_t>(&bytes);
    for (unsigned char& b : bytes) {
      b = static_cast<unsigned char>(mix);
      mix = mix * 6364136223846793005u + 1442695040888963407u;
    }
  }
  std::string s;
  for (unsigned char b : bytes) s += kChars[b % (sizeof kChars - 1)];
  return s;
}

// Named temporaries are ".<name>.~zembra-" and eight random characters.
constexpr const char kTempMarker[] = ".~zembra-";
constexpr std::size_t kSuffixLength = 8;
// A named temporary untouched for this long, and locked by nobody, was left by a crash.
constexpr time_t kStaleAfterSeconds = 60;

std::string TempName(const std::string& folder, const std::string& name) {
  return folder + "." + name + kTempMarker + RandomSuffix();
}

// The permission bits a new file in folder gets (0666 less the umask), read without changing
// the umask, which is shared by every thread. Without /proc an empty file that is created and
// removed at once shows them: it never holds anything a reader could take.
mode_t NewFileMode(const std::string& folder, const std::string& name) {
  if (FILE* status = std::fopen("/proc/self/status", "re")) {
    mode_t mode = 0644;
    char line[256];
    while (std::fgets(line, sizeof line, status)) {
      if (std::string_view(line).starts_with("Umask:")) {
        mode = 0666 & ~static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8));
        break;
      }
    }
    std::fclose(status);
    return mode;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string probe = TempName(folder, name);
    UniqueFd fd(::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
    if (!fd.valid() && errno == EEXIST) continue;
    struct stat st {};
    const bool known = fd.valid() && ::fstat(fd.get(), &st) == 0;
    if (fd.valid()) ::unlink(probe.c_str());
    return known ? st.st_mode & 0777 : 0644;
  }
  return 0644;
}

// The mode a replaced file lends its replacement: only a regular file of our own, looked at
// without following links, and never its set-id bits. A link another user planted at the name
// must not give the output the mode of whatever it points to.
bool LendableMode(const std::string& target, mode_t& mode) {
  struct stat st {};
  if (::lstat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
    return false;
  mode = st.st_mode & 0777;
  return true;
}

}  // namespace

void RemoveStaleOutputTemporaries(const std::string& target) {
  std::size_t slash = target.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string prefix = "." + name + kTempMarker;
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return;
  time_t now = ::time(nullptr);
  while (dirent* entry = ::readdir(dir)) {
    std::string_view entryName = entry->d_name;
    if (!entryName.starts_with(prefix) || entryName.size() != prefix.size() + kSuffixLength)
      continue;
    std::string path = folder + std::string(entryName);
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_uid != ::geteuid() || now - st.st_mtime < kStaleAfterSeconds)
      continue;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (::fcntl(fd.get(), F_OFD_SETLK, &lock) != 0) continue;  // a writer is at work on it
    ::unlink(path.c_str());
  }
  ::closedir(dir);
}

UniqueFd OpenInputFile(const std::string& path, bool* notRegular) {
  if (notRegular) *notRegular = false;
  const auto refuse = [&](const struct stat& info) {
    if (S_ISDIR(info.st_mode)) {
      errno = EISDIR;
    } else {
      if (notRegular) *notRegular = true;
      errno = EINVAL;
    }
    return UniqueFd();
  };
  // Looked at before the opening: opening a FIFO can block, and opening a device can act on it.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return UniqueFd();
  if (!S_ISREG(st.st_mode)) return refuse(st);
  // O_NONBLOCK only for the opening: a FIFO put at the name meanwhile must not hang the window.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd.valid()) return fd;
  if (::fstat(fd.get(), &st) != 0) return UniqueFd();
  if (!S_ISREG(st.st_mode)) return refuse(st);
  int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
  if (!LockWholeFile(fd.get(), F_RDLCK)) {
    errno = EBUSY;  // another opening holds it for writing
    return UniqueFd();
  }
  ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  return fd;
}

std::int64_t FileLength(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

bool PathExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }
bool IsReadable(const std::string& path) { return ::access(path.c_str(), R_OK) == 0; }
int RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

bool IsAbsent(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFileNoFollow(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<std::string> ReadStartOf(const std::string& path, std::size_t size) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd.valid()) return std::nullopt;
  std::string bytes(size, '\0');
  const std::int64_t got = ReadFd(fd.get(), bytes.data(), size);
  bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return bytes;
}

void SyncFolder(const std::string& folder) {
  UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) ::fsync(fd.get());
}

std::int64_t ReadFd(int fd, void* buffer, std::size_t size) {
  for (;;) {
    ssize_t n = ::read(fd, buffer, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

std::int64_t WriteFd(int fd, const void* buffer, std::size_t size) {
  const char* p = static_cast<const char*>(buffer);
  std::size_t left = size;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(size);
}

std::int64_t SeekFd(int fd, std::int64_t offset, int whence) {
  return ::lseek(fd, static_cast<off_t>(offset), whence);
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A hard link refuses a taken name just the same.
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  ::unlink(from.c_str());
  return true;
}

CommittedOutput::CommittedOutput(std::string target, OutputPermissions permissions)
    : m_target(std::move(target)), m_permissions(permissions) {}

CommittedOutput::~CommittedOutput() { Discard(); }

bool CommittedOutput::Open() {
  Discard();
  std::size_t slash = m_target.rfind('/');
  m_folder = slash == std::string::npos ? std::string() : m_target.substr(0, slash + 1);
  m_name = slash == std::string::npos ? m_target : m_target.substr(slash + 1);
  if (m_name.empty()) {
    errno = EISDIR;
    return false;
  }
  // A file we may not write stays as it is, as an opening for writing would have been refused;
  // the rename alone would need only the folder's permission. A link is replaced as a name, so
  // what it points to does not count.
  struct stat st {};
  if (::lstat(m_target.c_str(), &st) == 0 && !S_ISLNK(st.st_mode) &&
      ::access(m_target.c_str(), W_OK) != 0)
    return false;
  mode_t lent = 0;
  const bool ownerOnly = m_permissions == OutputPermissions::OwnerOnly;
  // A replaced file keeps who may read it: an encrypted file must not become world-readable.
  const bool lending = !ownerOnly && LendableMode(m_target, lent);
  m_mode = ownerOnly ? 0600 : lent;

  // Where the file system offers it, the output has no name until it is committed: a crash
  // leaves nothing behind, and nobody can open what was never authenticated. The folder stays
  // the target's, so that the commit stays on one file system. Committing links it through
  // /proc, so without /proc the named way is taken.
  const bool procMounted = ::access("/proc/self/fd", X_OK) == 0;
  UniqueFd fd;
  if (procMounted) {
    fd = UniqueFd(::open(m_folder.empty() ? "." : m_folder.c_str(),
                         O_TMPFILE | O_WRONLY | O_CLOEXEC | O_NOCTTY, ownerOnly ? 0600 : 0666));
  }
  if (fd.valid()) {
    if ((lending || ownerOnly) && ::fchmod(fd.get(), m_mode) != 0) return false;
  } else {
    // These say the folder itself will not take a file, whichever way.
    if (procMounted && (errno == ENOENT || errno == ENOTDIR || errno == EACCES || errno == EROFS))
      return false;
    // Only this way leaves partial outputs behind after a crash. Reading the folder for them
    // costs a pass over it per output, which the unnamed way does not pay.
    RemoveStaleOutputTemporaries(m_target);
    // A named temporary, private (0600) until the commit gives it its mode.
    if (!lending && !ownerOnly) m_mode = NewFileMode(m_folder, m_name);
    for (int attempt = 0; attempt < 100 && !fd.valid(); ++attempt) {
      std::string temp = TempName(m_folder, m_name);
      fd = UniqueFd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600));
      if (fd.valid()) {
        m_temp = std::move(temp);
      } else if (errno != EEXIST) {
        return false;
      }
    }
    if (!fd.valid()) {
      errno = EEXIST;
      return false;
    }
  }
  LockWholeFile(fd.get(), F_WRLCK);  // nobody else can reach it yet: cannot conflict
  ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  m_fd = std::move(fd);
  return true;
}

void CommittedOutput::Flush() {
  // Linux reports a failed write-back to one fsync only; a later one would succeed over lost data.
  if (m_fd.valid() && m_flushError == 0 && ::fsync(m_fd.get()) != 0) m_flushError = errno;
}

bool CommittedOutput::Commit() { return Finish(true); }

bool CommittedOutput::CommitNoReplace() { return Finish(false); }

bool CommittedOutput::Finish(bool replace) {
  if (!m_fd.valid() || m_committed) {
    errno = EBADF;
    return false;
  }
  // The data must be on disk before the name points at it, or a crash could leave an empty
  // target where the old file was.
  int result = -1;
  if (m_flushError != 0)
    errno = m_flushError;
  else
    result = ::fsync(m_fd.get());
  if (result == 0 && !m_temp.empty()) {
    result = ::fchmod(m_fd.get(), m_mode);
    if (result == 0 && replace) {
      result = ::rename(m_temp.c_str(), m_target.c_str());
    } else if (result == 0) {
      result = RenameNoReplace(m_temp, m_target) ? 0 : -1;
    }
    if (result == 0) m_temp.clear();
  } else if (result == 0) {
    std::string self = "/proc/self/fd/" + std::to_string(m_fd.get());
    if (!replace) {
      // A link refuses a taken name: a file that took it meanwhile is kept.
      result = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, m_target.c_str(), AT_SYMLINK_FOLLOW);
    } else {
      // No call links an unnamed file over another, so it gets a name of our own first and is
      // renamed over the target; that name only ever holds the complete, flushed output.
      for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = TempName(m_folder, m_name);
        result = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW);
        if (result == 0) {
          m_temp = std::move(temp);
          break;
        }
        if (errno != EEXIST) break;
      }
      if (result == 0) result = ::rename(m_temp.c_str(), m_target.c_str());
      if (result == 0) m_temp.clear();
    }
  }
  if (result != 0) {
    int saved = errno;
    Discard();
    errno = saved;
    return false;
  }
  m_committed = true;
  SyncFolder(m_folder.empty() ? "." : m_folder);
  // The descriptor stays open (and locked) until the owner is done with it.
  return true;
}

void CommittedOutput::Discard() {
  m_fd.reset();
  m_committed = false;
  if (!m_temp.empty()) {
    int saved = errno;
    ::unlink(m_temp.c_str());
    errno = saved;
    m_temp.clear();
  }
}
