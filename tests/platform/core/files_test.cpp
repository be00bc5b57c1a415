#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/core/files.h"
#include "tests/platform/core/temp_folder.h"
#include "tests/support/file_system_shim.h"

namespace {

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool IsCloseOnExec(int fd) { return (fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0; }

mode_t PermissionBits(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

// The entry itself, a link not followed.
mode_t EntryType(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st.st_mode & S_IFMT;
}

// The umask of the process while it lives.
class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : m_saved(umask(mask)) {}
  ~ScopedUmask() { umask(m_saved); }

 private:
  mode_t m_saved;
};

// Writes content through a committed output to target; true when it was committed.
bool Replace(const std::string& target, const std::string& content,
             OutputPermissions permissions = OutputPermissions::Inherited) {
  CommittedOutput out(target, permissions);
  if (!out.Open()) return false;
  if (WriteFd(out.fd(), content.data(), content.size()) < 0) return false;
  return out.Commit();
}

void WriteText(int fd, const std::string& text) {
  ASSERT_EQ(WriteFd(fd, text.data(), text.size()), static_cast<std::int64_t>(text.size()));
}

// A child process holding an exclusive lock on a file, as another Zembra's output does, until
// the test lets it go.
class LockHolder {
 public:
  explicit LockHolder(const std::string& path) {
    int ready[2], release[2];
    if (pipe(ready) != 0 || pipe(release) != 0) return;
    m_pid = fork();
    if (m_pid == 0) {
      close(ready[0]);
      close(release[1]);
      int fd = open(path.c_str(), O_RDWR);
      struct flock lock {};
      lock.l_type = F_WRLCK;
      lock.l_whence = SEEK_SET;
      char ok = fd >= 0 && fcntl(fd, F_OFD_SETLK, &lock) == 0 ? 'y' : 'n';
      if (write(ready[1], &ok, 1) != 1) _exit(1);
      char c;
      while (read(release[0], &c, 1) < 0 && errno == EINTR) {
      }
      _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    m_release = release[1];
    char ok = 'n';
    if (read(ready[0], &ok, 1) == 1) m_locked = ok == 'y';
    close(ready[0]);
  }
  ~LockHolder() { Release(); }
  bool locked() const { return m_locked; }
  void Release() {
    if (m_pid <= 0) return;
    close(m_release);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
  }

 private:
  pid_t m_pid = -1;
  int m_release = -1;
  bool m_locked = false;
};

}  // namespace

TEST(OpenInputFile, OpensReadOnlyCloseOnExec) {
  TempFolder temp;
  std::string path = temp / "in.txt";
  WriteWholeFile(path, "hello");
  UniqueFd fd = OpenInputFile(path);
  ASSERT_TRUE(fd.valid());
  EXPECT_TRUE(IsCloseOnExec(fd.get()));
  EXPECT_EQ(fcntl(fd.get(), F_GETFL) & (O_ACCMODE | O_NONBLOCK), O_RDONLY);
  char buffer[16];
  EXPECT_EQ(ReadFd(fd.get(), buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_EQ(ReadFd(fd.get(), buffer, sizeof buffer), 0);
  EXPECT_EQ(FileLength(fd.get()), 5);
}

TEST(OpenInputFile, RefusesMissingFilesAndFolders) {
  TempFolder temp;
  errno = 0;
  EXPECT_FALSE(OpenInputFile(temp / "missing").valid());
  EXPECT_EQ(errno, ENOENT);
  errno = 0;
  bool notRegular = true;
  EXPECT_FALSE(OpenInputFile(temp.path(), &notRegular).valid());
  EXPECT_EQ(errno, EISDIR);
  EXPECT_FALSE(notRegular);
}

TEST(OpenInputFile, FifoWithoutWriterDoesNotHang) {
  TempFolder temp;
  std::string fifo = temp / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  bool notRegular = false;
  EXPECT_FALSE(OpenInputFile(fifo, &notRegular).valid());  // at once, not when a writer comes
  EXPECT_TRUE(notRegular);
}

// Devices, FIFOs and sockets never end or block until a writer closes them; they are refused
// before they are opened, also behind a link. A link to a regular file is read as that file.
TEST(OpenInputFile, AnInputThatIsNotARegularFileIsRefused) {
  TempFolder temp;
  const std::string fifo = temp / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  UniqueFd writer(open(fifo.c_str(), O_RDWR | O_CLOEXEC));  // held open, never writing
  ASSERT_TRUE(writer.valid());
  const std::string socketPath = temp / "socket";
  UniqueFd listener(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const std::string zeros = temp / "zeros";
  ASSERT_EQ(symlink("/dev/zero", zeros.c_str()), 0);
  for (const std::string& path : {zeros, std::string("/dev/zero"), fifo, socketPath}) {
    SCOPED_TRACE(path);
    bool notRegular = false;
    errno = 0;
    EXPECT_FALSE(OpenInputFile(path, &notRegular).valid());
    EXPECT_TRUE(notRegular);
    EXPECT_EQ(errno, EINVAL);
  }
  WriteWholeFile(temp / "plain", "text");
  ASSERT_EQ(symlink((temp / "plain").c_str(), (temp / "link").c_str()), 0);
  bool notRegular = true;
  EXPECT_TRUE(OpenInputFile(temp / "link", &notRegular).valid());
  EXPECT_FALSE(notRegular);
}

TEST(OpenInputFile, RefusedWhileAnotherProcessWritesIt) {
  TempFolder temp;
  std::string path = temp / "busy.txt";
  WriteWholeFile(path, "data");
  LockHolder holder(path);
  ASSERT_TRUE(holder.locked());
  errno = 0;
  EXPECT_FALSE(OpenInputFile(path).valid());
  EXPECT_EQ(errno, EBUSY);
  holder.Release();
  EXPECT_TRUE(OpenInputFile(path).valid());
}

TEST(OpenInputFile, TwoReadersShareAFile) {
  TempFolder temp;
  std::string path = temp / "shared.txt";
  WriteWholeFile(path, "data");
  UniqueFd first = OpenInputFile(path);
  UniqueFd second = OpenInputFile(path);
  EXPECT_TRUE(first.valid());
  EXPECT_TRUE(second.valid());
}

TEST(Files, SizesAndOffsetsAre64Bit) {
  TempFolder temp;
  std::string path = temp / "sparse";
  const std::int64_t size = 5LL << 30;
  {
    UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_TRUE(fd.valid());
    ASSERT_EQ(ftruncate(fd.get(), size), 0);
  }
  UniqueFd fd = OpenInputFile(path);
  ASSERT_TRUE(fd.valid());
  EXPECT_EQ(FileLength(fd.get()), size);
  EXPECT_EQ(SeekFd(fd.get(), (9LL << 29), SEEK_SET), 9LL << 29);
  EXPECT_EQ(SeekFd(fd.get(), 0, SEEK_END), size);
  EXPECT_EQ(FileLength(-1), -1);
}

TEST(Files, PathExists) {
  TempFolder temp;
  WriteWholeFile(temp / "here", "");
  EXPECT_TRUE(PathExists(temp / "here"));
  EXPECT_TRUE(PathExists(temp.path()));
  EXPECT_FALSE(PathExists(temp / "gone"));
}

TEST(CommittedOutput, WithoutCommitTargetIsUntouchedAndNoTemporaryStays) {
  TempFolder temp;
  std::string target = temp / "out.gpg";
  WriteWholeFile(target, "old content");
  {
    CommittedOutput out(target);
    ASSERT_TRUE(out.Open());
    EXPECT_TRUE(IsCloseOnExec(out.fd()));
    WriteText(out.fd(), "new");
  }
  EXPECT_EQ(ReadWholeFile(target), "old content");
  EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::string>{"out.gpg"});
}

TEST(CommittedOutput, ExceptionLeavesNoNewFile) {
  TempFolder temp;
  std::string target = temp / "new.gpg";
  try {
    CommittedOutput out(target);
    ASSERT_TRUE(out.Open());
    WriteText(out.fd(), "partial");
    throw std::runtime_error("engine failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_TRUE(FolderEntries(temp.path()).empty());
}

TEST(CommittedOutput, CommitReplacesContentWhole) {
  TempFolder temp;
  std::string target = temp / "out.txt";
  WriteWholeFile(target, "a much longer old content");
  CommittedOutput out(target);
  ASSERT_TRUE(out.Open());
  WriteText(out.fd(), "short");
  EXPECT_EQ(ReadWholeFile(target), "a much longer old content");  // nothing seen before commit
  ASSERT_TRUE(out.Commit());
  EXPECT_EQ(ReadWholeFile(target), "short");
  EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::string>{"out.txt"});
  out.Discard();  // after a commit, discarding only closes
  EXPECT_EQ(ReadWholeFile(target), "short");
}

// An output under construction has no name anybody could open: a decryption's plaintext is
// not readable before it has been authenticated and committed.
TEST(CommittedOutput, OutputUnderConstructionIsInvisible) {
  TempFolder temp;
  CommittedOutput out(temp / "report.pdf");
  ASSERT_TRUE(out.Open());
  WriteText(out.fd(), "plaintext not yet authenticated");
  EXPECT_TRUE(FolderEntries(temp.path()).empty());
  ASSERT_TRUE(out.Commit());
  EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::string>{"report.pdf"});
}

// Where a file system has no unnamed files, a run that crashed leaves a named temporary; the
// next output to the same target removes it once nobody holds it, and keeps a live writer's.
TEST(CommittedOutput, StaleTemporaryOfACrashedRunIsRemovedByTheNextOutput) {
  TempFolder temp;
  std::string stale = temp / ".report.pdf.~zembra-Ab3dE6gH";
  std::string live = temp / ".report.pdf.~zembra-Zz9yY8xX";
  std::string foreign = temp / ".report.pdf.~zembra-notours";  // not our naming: kept
  for (const std::string& path : {stale, live, foreign}) {
    WriteWholeFile(path, "left over");
    struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
  }
  UniqueFd holder(open(live.c_str(), O_RDWR | O_CLOEXEC));
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  ASSERT_EQ(fcntl(holder.get(), F_OFD_SETLK, &lock), 0);
  RemoveStaleOutputTemporaries(temp / "report.pdf");
  EXPECT_FALSE(PathExists(stale));
  EXPECT_TRUE(PathExists(live));
  EXPECT_TRUE(PathExists(foreign));
}

TEST(CommittedOutput, NewFileGetsModeFromUmask) {
  TempFolder temp;
  std::string target = temp / "new.txt";
  mode_t old = umask(027);
  CommittedOutput out(target);
  bool opened = out.Open();
  umask(old);
  ASSERT_TRUE(opened);
  ASSERT_TRUE(out.Commit());
  EXPECT_EQ(PermissionBits(target), 0640u);
}

TEST(CommittedOutput, ReplacedFileKeepsItsPermissions) {
  TempFolder temp;
  std::string target = temp / "secret.txt";
  WriteWholeFile(target, "old");
  ASSERT_EQ(chmod(target.c_str(), 0600), 0);
  mode_t old = umask(022);
  CommittedOutput out(target);
  bool opened = out.Open();
  umask(old);
  ASSERT_TRUE(opened);
  WriteText(out.fd(), "new");
  ASSERT_TRUE(out.Commit());
  EXPECT_EQ(ReadWholeFile(target), "new");
  EXPECT_EQ(PermissionBits(target), 0600u);
}

TEST(CommittedOutput, FailedCommitKeepsTargetAndRemovesTemporary) {
  TempFolder temp;
  std::string target = temp / "folder";
  ASSERT_EQ(mkdir(target.c_str(), 0700), 0);
  WriteWholeFile(target + "/inside", "keep");
  CommittedOutput out(target);
  ASSERT_TRUE(out.Open());
  WriteText(out.fd(), "new");
  EXPECT_FALSE(out.Commit());
  EXPECT_EQ(ReadWholeFile(target + "/inside"), "keep");
  EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::string>{"folder"});
}

TEST(CommittedOutput, OpenFailsInMissingFolder) {
  TempFolder temp;
  CommittedOutput out(temp / "no/such/folder/out.gpg");
  errno = 0;
  EXPECT_FALSE(out.Open());
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(out.Commit());
}

TEST(CommittedOutput, CommittedFileIsHeldAgainstReadersUntilClosed) {
  TempFolder temp;
  std::string target = temp / "out.txt";
  auto out = std::make_unique<CommittedOutput>(target);
  ASSERT_TRUE(out->Open());
  WriteText(out->fd(), "x");
  ASSERT_TRUE(out->Commit());
  EXPECT_FALSE(OpenInputFile(target).valid());
  out.reset();
  EXPECT_TRUE(OpenInputFile(target).valid());
}

// A writer killed in the middle of its output leaves the old file as it was, and nothing else:
// what it had written had no name.
TEST(CommittedOutput, KilledWriterLeavesTargetIntact) {
  TempFolder temp;
  std::string target = temp / "precious.txt";
  WriteWholeFile(target, "precious original");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    CommittedOutput out(target);
    if (!out.Open()) _exit(1);
    std::string chunk(65536, 'z');
    for (int i = 0; i < 16; ++i) {
      if (WriteFd(out.fd(), chunk.data(), chunk.size()) < 0) _exit(1);
    }
    char c = 'y';
    if (write(ready[1], &c, 1) != 1) _exit(1);
    for (;;) pause();  // mid-write: more would follow, and the commit after it
  }
  close(ready[1]);
  char c = 'n';
  EXPECT_EQ(read(ready[0], &c, 1), 1);
  close(ready[0]);
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(ReadWholeFile(target), "precious original");
  EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::string>{"precious.txt"});
  // The killed writer's lock went with it.
  EXPECT_TRUE(OpenInputFile(target).valid());
}

TEST(CommittedOutput, ReadOnlyTargetIsNotReplaced) {
  if (geteuid() == 0) GTEST_SKIP() << "root may write any file";
  TempFolder temp;
  std::string target = temp / "readonly.txt";
  WriteWholeFile(target, "protected");
  ASSERT_EQ(chmod(target.c_str(), 0444), 0);
  CommittedOutput out(target);
  errno = 0;
  EXPECT_FALSE(out.Open());
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(ReadWholeFile(target), "protected");
  EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::string>{"readonly.txt"});
}

// Run as root in a shared folder, a link planted at the output name to a set-id, world-writable
// file gave the output that file's mode, and the planter could rewrite it. A link is replaced as
// a name and lends nothing; what it points to stays as it was.
TEST(CommittedOutput, ALinkPlantedAtTheOutputNameLendsNoMode) {
  TempFolder temp;
  const std::string victim = temp / "victim";
  const std::string target = temp / "out.gpg";
  for (const bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed temporary" : "named temporary");
    WriteWholeFile(victim, "planter's file");
    ASSERT_EQ(chmod(victim.c_str(), 04777), 0);
    ASSERT_EQ(symlink(victim.c_str(), target.c_str()), 0);
    {
      ScopedUmask mask(022);
      std::optional<WithoutUnnamedFiles> named;
      if (!unnamed) named.emplace();
      ASSERT_TRUE(Replace(target, "output"));
    }
    EXPECT_EQ(EntryType(target), static_cast<mode_t>(S_IFREG));
    EXPECT_EQ(PermissionBits(target), 0644u);
    EXPECT_EQ(ReadWholeFile(target), "output");
    EXPECT_EQ(ReadWholeFile(victim), "planter's file");
    EXPECT_EQ(PermissionBits(victim), 04777u);
    ASSERT_EQ(unlink(target.c_str()), 0);
  }
}

// A replaced file lends who may read and write it, never a set-id bit: the new content is
// not the program the bit was given to.
TEST(CommittedOutput, AReplacedFileLendsNoSetIdBits) {
  TempFolder temp;
  const std::string target = temp / "tool";
  WriteWholeFile(target, "old");
  ASSERT_EQ(chmod(target.c_str(), 06750), 0);
  ASSERT_TRUE(Replace(target, "new"));
  EXPECT_EQ(PermissionBits(target), 0750u);
}

TEST(CommittedOutput, AnotherOwnersFileLendsNoMode) {
  if (geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
  TempFolder temp;
  const std::string target = temp / "shared.txt";
  WriteWholeFile(target, "another user's");
  ASSERT_EQ(chown(target.c_str(), 65534, 65534), 0);
  ASSERT_EQ(chmod(target.c_str(), 0666), 0);
  ScopedUmask mask(022);
  ASSERT_TRUE(Replace(target, "ours"));
  EXPECT_EQ(PermissionBits(target), 0644u);
  struct stat st {};
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u);
}

// A secret export replacing a readable file, where the file system has no unnamed files, came
// out with the replaced file's 0644.
TEST(CommittedOutput, AnOwnerOnlyOutputStaysOwnerOnlyWhateverItReplaces) {
  TempFolder temp;
  const std::string target = temp / "keys.asc";
  for (const bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed temporary" : "named temporary");
    WriteWholeFile(target, "public keys");
    ASSERT_EQ(chmod(target.c_str(), 0644), 0);
    ScopedUmask openToAll(0);
    std::optional<WithoutUnnamedFiles> named;
    if (!unnamed) named.emplace();
    ASSERT_TRUE(Replace(target, "secret keys", OutputPermissions::OwnerOnly));
    EXPECT_EQ(PermissionBits(target), 0600u);
    EXPECT_EQ(ReadWholeFile(target), "secret keys");
    EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::string>{"keys.asc"});
  }
}

// Without /proc every output failed: the failed look at /proc/self/fd left its ENOENT for the
// decision about the named way, which then gave up. The named way is taken, with the umask's
// mode, and leaves nothing else behind.
TEST(CommittedOutput, WithoutProcOutputsTakeTheNamedWay) {
  TempFolder temp;
  const std::string target = temp / "out.gpg";
  {
    WithoutProc noProc;
    ScopedUmask mask(027);
    CommittedOutput out(target);
    ASSERT_TRUE(out.Open()) << std::strerror(errno);
    WriteText(out.fd(), "encrypted");
    EXPECT_EQ(FolderEntries(temp.path()).size(), 1u);  // the named temporary
    ASSERT_TRUE(out.Commit());
  }
  EXPECT_EQ(ReadWholeFile(target), "encrypted");
  EXPECT_EQ(PermissionBits(target), 0640u);
  EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::string>{"out.gpg"});
}
