// Files as the operations open them. Descriptors are close-on-exec; sizes and offsets 64-bit.
// Share modes are advisory open-file-description locks: an input holds a shared lock (others may
// read, no Zembra process may write), an output an exclusive one.
#pragma once

#include <cstdint>
#include <string>

#include "platform/core/unique_fd.h"

// Opens an existing file read-only for sequential reading. Fails (invalid fd, errno set) for a
// missing file, a folder (EISDIR), no permission, or a file another Zembra process holds for
// writing (EBUSY). On a file system without locks the file opens unlocked.
UniqueFd OpenInputFile(const std::string& path);

// The file's length in bytes, -1 when it cannot be determined.
std::int64_t FileLength(int fd);

bool PathExists(const std::string& path);

// Reads and writes that retry on EINTR; -1 on error with errno set.
std::int64_t ReadFd(int fd, void* buffer, std::size_t size);
std::int64_t WriteFd(int fd, const void* buffer, std::size_t size);  // writes all or fails
std::int64_t SeekFd(int fd, std::int64_t offset, int whence);

// An output that only replaces its target when committed. The bytes go to a temporary file
// beside the target (".<name>.<random>", created with mode 0666 less the umask, or with the
// permission bits of the file it will replace, exclusively locked); Commit flushes it to disk
// and renames it over the target. Without a commit (failure, exception) the target is untouched
// and the temporary file is removed; after a crash (SIGKILL) the target is still untouched, but
// the temporary file may remain.
class CommittedOutput {
 public:
  explicit CommittedOutput(std::string target);
  ~CommittedOutput();
  CommittedOutput(const CommittedOutput&) = delete;
  CommittedOutput& operator=(const CommittedOutput&) = delete;

  // False with errno set when the temporary file cannot be made, or when the target exists and
  // may not be written (EACCES).
  bool Open();
  int fd() const { return m_fd.get(); }
  bool Commit();  // false (target untouched, temporary removed) when the rename fails
  bool CommitNoReplace();  // as Commit, but fails with EEXIST when the target exists by then
  void Discard();
  const std::string& target() const { return m_target; }

 private:
  bool Finish(bool replace);

  std::string m_target;
  std::string m_temp;
  UniqueFd m_fd;
};
