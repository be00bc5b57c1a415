// Committing an output under its name only while that name is still free.
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>

#include "platform/core/files.h"

bool CommittedOutput::CommitNoReplace() {
  if (!m_fd.valid() || m_temp.empty()) {
    errno = EBADF;
    return false;
  }
  // The data must be on disk before the name points at it.
  int result = ::fsync(m_fd.get());
  if (result == 0) {
    // The check and the rename are one step: a file that took the name meanwhile is kept.
    result = ::renameat2(AT_FDCWD, m_temp.c_str(), AT_FDCWD, m_target.c_str(), RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
      // File systems without the flag: a hard link refuses a taken name just the same.
      result = ::link(m_temp.c_str(), m_target.c_str());
      if (result == 0) ::unlink(m_temp.c_str());
    }
  }
  if (result != 0) {
    const int saved = errno;
    Discard();
    errno = saved;
    return false;
  }
  m_temp.clear();
  std::size_t slash = m_target.rfind('/');
  std::string folder = slash == std::string::npos ? "." : m_target.substr(0, slash + 1);
  UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.valid()) ::fsync(dir.get());
  return true;
}
