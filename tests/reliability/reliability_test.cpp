// Faults repeated many times and a job of many files, checked as the system sees them: the
// hive after each kill, the process's descriptors, children and memory in /proc. Each test says
// how often it tried with a "[reliability] tries: N" line, which RELIABILITY.md counts.
#include <dirent.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/sqlite_integrity.h"

#include "platform/core/registry.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_env.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

void ReportTries(int tries) { std::printf("[reliability] tries: %d\n", tries); }

std::size_t OpenDescriptors() {
  std::size_t n = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (dirent* e = readdir(dir))
      if (e->d_name[0] != '.') ++n;
    closedir(dir);
  }
  return n - 1;  // the listing's own
}

// Processes whose parent is this one, from /proc/<pid>/stat.
std::vector<int> Children() {
  std::vector<int> children;
  DIR* dir = opendir("/proc");
  if (!dir) return children;
  while (dirent* e = readdir(dir)) {
    int pid = std::atoi(e->d_name);
    if (pid <= 0) continue;
    std::ifstream stat("/proc/" + std::string(e->d_name) + "/stat");
    std::string line;
    std::getline(stat, line);
    auto close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 2));
    char state = 0;
    int parent = 0;
    rest >> state >> parent;
    if (parent == getpid()) children.push_back(pid);
  }
  closedir(dir);
  return children;
}

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

DWORD ReadCounter() {
  RegKey key;
  DWORD value = 0, size = sizeof value;
  if (RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Counter", 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return 0;
  LONG rc =
      RegQueryValueEx(key.get(), "n", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
  if (rc == ERROR_FILE_NOT_FOUND) return 0;  // killed before its first write
  return rc == ERROR_SUCCESS ? value : ~DWORD{0};
}

}  // namespace

// A writer that counts up in the registry is killed at random moments, hundreds of times: each
// time the hive opens, reads a value at least as new as every one committed before, and passes
// SQLite's integrity check.
TEST(Reliability, RegistryWriterKilledAtRandomMomentsKeepsTheHiveWhole) {
  TempFolder folder;
  setenv("ZEMBRA_REGISTRY_DIR", folder.path().c_str(), 1);
  constexpr int kRounds = 300;
  std::mt19937 random(1234);
  DWORD committed = 0;
  for (int round = 0; round < kRounds; ++round) {
    int started[2];
    ASSERT_EQ(pipe(started), 0);
    pid_t pid = fork();
    if (pid == 0) {
      close(started[0]);
      RegKey key;
      if (RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Counter", 0, nullptr, 0, KEY_ALL_ACCESS,
                         nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        _exit(1);
      if (write(started[1], "s", 1) != 1) _exit(3);
      for (DWORD n = committed + 1;; ++n) {
        if (RegSetValueEx(key.get(), "n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n),
                          sizeof n) != ERROR_SUCCESS)
          _exit(2);
      }
    }
    close(started[1]);
    char byte = 0;
    ASSERT_EQ(read(started[0], &byte, 1), 1) << "writer did not start in round " << round;
    close(started[0]);
    usleep(std::uniform_int_distribution<useconds_t>(0, 20000)(random));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "writer ended by itself in round " << round;
    DWORD now = ReadCounter();
    ASSERT_NE(now, ~DWORD{0}) << "value unreadable in round " << round;
    ASSERT_GE(now, committed) << "a committed value was lost in round " << round;
    committed = now;
    ASSERT_EQ(IntegrityCheck(folder.path() + "/hkcu.db"), "ok") << "round " << round;
  }
  unsetenv("ZEMBRA_REGISTRY_DIR");
  EXPECT_GT(committed, 0u);
  ReportTries(kRounds);
}

class ManyFiles : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice"}}; }
};

// One job over many files (a thousand; fewer under the sanitizers, where each file costs the
// same gpg start and our own code is what is checked) leaves no descriptor and no child
// process behind, and its memory does not grow with the number of files.
TEST_F(ManyFiles, ManyFileJobLeavesNoDescriptorNoChildAndFlatMemory) {
  const int kFiles = kSanitized ? 150 : 1000;
  TempFolder files;
  for (int i = 0; i < kFiles; ++i)
    WriteFile(files.path("f" + std::to_string(i)), "small file " + std::to_string(i) + "\n");
  GpgmeContext keyCtx = OpenEngineContext();
  gpgme_key_t alice = nullptr;
  ASSERT_EQ(gpgme_get_key(keyCtx.get(), ring().fingerprint("alice").c_str(), &alice, 0), 0);
  gpgme_key_t recipients[] = {alice, nullptr};

  std::size_t descriptorsBefore = 0, descriptorsAfter = 0;
  std::vector<int> childrenAfter;
  long warm = 0, end = 0;
  LogCapture capture;
  FileOps ops;
  // The first files warm up the engine and the allocator; growth is measured after them.
  const int warmUp = kFiles / 10;
  for (int i = 0; i < kFiles; ++i) {
    if (i == warmUp) {
      descriptorsBefore = OpenDescriptors();
      warm = ResidentKiB();
    }
    ops.Encrypt(files.path("f" + std::to_string(i)), recipients);
  }
  descriptorsAfter = OpenDescriptors();
  childrenAfter = Children();
  end = ResidentKiB();
  const std::string log = capture.text();
  gpgme_key_unref(alice);

  std::size_t done = 0;
  for (std::size_t at = log.find("Done.\n"); at != std::string::npos;
       at = log.find("Done.\n", at + 1))
    ++done;
  EXPECT_EQ(done, static_cast<std::size_t>(kFiles)) << log.substr(0, 2000);
  for (int i = 0; i < kFiles; i += kFiles / 10)
    EXPECT_TRUE(Exists(files.path("f" + std::to_string(i) + ".gpg"))) << i;
  EXPECT_EQ(descriptorsAfter, descriptorsBefore);
  EXPECT_TRUE(childrenAfter.empty()) << "children left: " << childrenAfter.size();
  std::printf("resident memory after warm-up %ld KiB, at the end %ld KiB\n", warm, end);
  // ASan keeps freed memory in quarantine, so resident memory grows there by design.
  if (!kSanitized) {
    EXPECT_LT(end - warm, 16 * 1024) << "memory grew with the number of files";
  }
  ReportTries(kFiles);
}
