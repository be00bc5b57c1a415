// Files as the operations open them. Descriptors are close-on-exec; sizes and offsets 64-bit.
// Share modes are advisory open-file-description locks: an input holds a shared lock (others may
// read, no Zembra process may write), an output an exclusive one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/core/unique_fd.h"

// Opens an existing file read-only for sequential reading. Fails (invalid fd, errno set) for a
// missing file, a folder (EISDIR), no permission, or a file another Zembra process holds for
// writing (EBUSY). On a file system without locks the file opens unlocked.
// Anything else that is not a regular file once links are followed (a device, a FIFO, a socket)
// is refused before it is opened, with *notRegular set and errno EINVAL: it may never end, or
// block until its writer closes it, and opening a device can itself act on it.
UniqueFd OpenInputFile(const std::string& path, bool* notRegular = nullptr);

// The file's length in bytes, -1 when it cannot be determined.
std::int64_t FileLength(int fd);

bool PathExists(const std::string& path);
// Whether this process may read the file (following links).
bool IsReadable(const std::string& path);
// Removes the name (not a folder): 0, or the error number.
int RemoveFile(const std::string& path);
// Whether the name is certainly absent (a folder that cannot be read leaves it unknown: false).
bool IsAbsent(const std::string& path);
// Whether the name is a folder (following links).
bool IsFolder(const std::string& path);
// Whether the name is a regular file itself, not a link to one.
bool IsRegularFileNoFollow(const std::string& path);
// Up to size bytes from the start of the file, not through a link; nullopt when it cannot be
// opened.
std::optional<std::string> ReadStartOf(const std::string& path, std::size_t size);
// Flushes the folder's entries to disk, so that a rename in it survives a crash.
void SyncFolder(const std::string& folder);

// Reads and writes that retry on EINTR; -1 on error with errno set.
std::int64_t ReadFd(int fd, void* buffer, std::size_t size);
std::int64_t WriteFd(int fd, const void* buffer, std::size_t size);  // writes all or fails
std::int64_t SeekFd(int fd, std::int64_t offset, int whence);

// Renames from to to, unless to exists (EEXIST): the check and the rename are one step, so a
// file that takes the name meanwhile is kept. On file systems without that flag a hard link does
// the same. False with errno set.
bool RenameNoReplace(const std::string& from, const std::string& to);

// Who may read a committed output. Inherited: 0666 less the umask, or the permission bits
// (rwx, never set-id) of the file it replaces when that is a regular file of the same owner.
// OwnerOnly: 0600 whatever it replaces, for secret key material.
enum class OutputPermissions { Inherited, OwnerOnly };

// Removes the named temporaries of outputs to target that crashed runs left behind: ours by
// name and owner, locked by nobody (a live writer holds its lock to the end), and untouched for
// a minute. CommittedOutput::Open does this for its target.
void RemoveStaleOutputTemporaries(const std::string& target);

// An output that only replaces its target when committed, invisible and private until then.
// The bytes go to an unnamed file in the target's folder (O_TMPFILE), or, where the file system
// or a missing /proc allows none, to a temporary file beside the target
// (".<name>.~zembra-<random>", mode 0600); either is exclusively locked. Commit flushes it to
// disk and puts it in the target's place with the mode its OutputPermissions give; a link at
// the target's name is replaced as a name, never written through. Without a
// commit (failure, exception) the target is untouched and nothing stays behind; after a crash
// (SIGKILL) the target is still untouched, and an unnamed output is gone with the process. A
// named temporary a crash left is removed by the next named output to the same target. (An
// unnamed output that replaces a file is linked under a temporary name just before the rename;
// a crash between the two leaves that complete, flushed output under it.)
class CommittedOutput {
 public:
  explicit CommittedOutput(std::string target,
                           OutputPermissions permissions = OutputPermissions::Inherited);
  ~CommittedOutput();
  CommittedOutput(const CommittedOutput&) = delete;
  CommittedOutput& operator=(const CommittedOutput&) = delete;

  // False with errno set when the temporary file cannot be made, or when the target exists and
  // may not be written (EACCES).
  bool Open();
  int fd() const { return m_fd.get(); }
  // Writes the data out to disk ahead of Commit, which then has little left to wait for; may
  // run on another thread while this one waits for its end. A failure waits for Commit.
  void Flush();
  bool Commit();           // false (target untouched, temporary removed) when the rename fails
  bool CommitNoReplace();  // as Commit, but fails with EEXIST when the target exists by then
  void Discard();
  const std::string& target() const { return m_target; }

 private:
  bool Finish(bool replace);

  std::string m_target;
  std::string m_folder;  // with its trailing slash; empty for the current folder
  std::string m_name;
  std::string m_temp;  // the named temporary, while there is one
  OutputPermissions m_permissions;
  unsigned m_mode = 0;  // the permission bits the committed file gets
  bool m_committed = false;
  int m_flushError = 0;  // errno of a failed Flush: the data may not be on disk
  UniqueFd m_fd;
};
