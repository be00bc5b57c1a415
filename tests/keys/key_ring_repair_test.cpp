// A key ring that a gpg killed in the middle of its update left without its key box: the next
// listing or import puts the update in place, never over a box that exists or one a living gpg
// is at work on; a ring that still cannot be opened fails the import instead of importing
// nothing as a success.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/log_capture.h"
#include "tests/support/test_env.h"
#include "zembra/engine/key_ring_repair.h"
#include "zembra/keys/key_import.h"
#include "zembra/keys/key_list.h"

namespace fs = std::filesystem;

namespace {

class KeyRingRepair : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice"}}; }

  // The state a gpg killed between its two renames leaves: alice alone in the backup, alice and
  // carol in the new box beside it, no box.
  void StopBetweenTheRenames() {
    const ProcessResult imported =
        ring().gpg({"--import"}, ReadFile(TestKeyFolder() + "/carol.pub.asc"));
    ASSERT_EQ(imported.exitCode, 0) << imported;
    ASSERT_TRUE(Exists(box() + "~"));
    m_backup = ReadFile(box() + "~");
    fs::rename(box(), box() + ".tmp");
    // gpg alone cannot use the ring any more.
    ASSERT_NE(ring().gpg({"--list-keys"}).exitCode, 0);
  }

  std::string box() { return ring().home() + "/pubring.kbx"; }

  std::vector<std::string> Listed(std::string* log) {
    LogCapture capture;
    GpgmeContext ctx = OpenEngineContext();
    std::vector<std::string> fingerprints;
    const auto keys = ListUsableKeys(ctx.get());
    for (const CKeyHandle& key : *keys) fingerprints.push_back(key.get()->subkeys->fpr);
    *log = capture.text();
    return fingerprints;
  }

  std::vector<std::string> RingFiles() {
    std::vector<std::string> names;
    for (const std::string& name : FolderNames(ring().home()))
      if (name.starts_with("pubring")) names.push_back(name);
    return names;
  }

  std::string Completed() {
    return "The key ring in \"" + ring().home() +
           "\" was left half-updated by a gpg that stopped; its last change is now in place\n";
  }

  std::string m_backup;
};

// A lock file as gpg writes it: the holder's process id and the host.
void WriteLock(const std::string& path, long pid, const std::string& host) {
  char text[64];
  std::snprintf(text, sizeof text, "%10ld\n", pid);
  WriteFile(path, text + host + "\n");
}

// Ends, after the time given, every gpg at work on the home: a gpg waiting for a lock that it
// takes for held waits as long as the holder seems to live, and the test then fails on what it
// got instead of hanging. (GPGME's gpg is not this process's child; the home names it.)
class GpgDeadline {
 public:
  GpgDeadline(std::string home, std::chrono::seconds limit)
      : m_home(std::move(home)), m_watch([this, limit] {
          std::unique_lock lock(m_mutex);
          if (m_ended.wait_for(lock, limit, [this] { return m_done; })) return;
          m_passed = true;
          for (const pid_t pid : GpgsOf(m_home)) kill(pid, SIGKILL);
        }) {}
  ~GpgDeadline() { stop(); }
  GpgDeadline(const GpgDeadline&) = delete;
  GpgDeadline& operator=(const GpgDeadline&) = delete;

  // True when the time ran out before stop.
  bool stop() {
    {
      std::lock_guard lock(m_mutex);
      m_done = true;
    }
    m_ended.notify_all();
    if (m_watch.joinable()) m_watch.join();
    return m_passed;
  }

 private:
  static std::string Slurp(const fs::path& path) {
    try {
      return ReadFile(path);
    } catch (...) {
      return {};  // ended meanwhile, or not ours to read
    }
  }

  static std::vector<pid_t> GpgsOf(const std::string& home) {
    std::vector<pid_t> pids;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
      const std::string name = entry.path().filename().string();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      if (Slurp(entry.path() / "comm") != "gpg\n") continue;
      const std::string environment = '\0' + Slurp(entry.path() / "environ");
      const std::string arguments = '\0' + Slurp(entry.path() / "cmdline");
      if (environment.find('\0' + ("GNUPGHOME=" + home) + '\0') != std::string::npos ||
          arguments.find('\0' + ("--homedir" + ('\0' + home)) + '\0') != std::string::npos)
        pids.push_back(std::stoi(name));
    }
    return pids;
  }

  const std::string m_home;
  std::mutex m_mutex;
  std::condition_variable m_ended;
  bool m_done = false;
  bool m_passed = false;
  std::thread m_watch;  // last: it starts once the members above exist
};

std::string HostName() {
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  return host;
}

}  // namespace

TEST_F(KeyRingRepair, AnUpdateStoppedBetweenItsRenamesIsCompletedByTheNextListing) {
  StopBetweenTheRenames();
  std::string log;
  EXPECT_EQ(Listed(&log),
            (std::vector<std::string>{ring().fingerprint("alice"), ring().fingerprint("carol")}));
  EXPECT_EQ(log, Completed());
  EXPECT_EQ(RingFiles(), (std::vector<std::string>{"pubring.kbx", "pubring.kbx~"}));
  EXPECT_TRUE(ReadFile(box() + "~") == m_backup);
  EXPECT_EQ(ring().publicFingerprints().size(), 2u);
  // Once whole, the ring is left as it is and nothing more is said.
  EXPECT_EQ(Listed(&log).size(), 2u);
  EXPECT_EQ(log, "");
}

TEST_F(KeyRingRepair, AnUpdateStoppedBetweenItsRenamesIsCompletedByTheNextImport) {
  StopBetweenTheRenames();
  const std::string path = ring().path("dave.pub.asc");
  WriteFile(path, ReadFile(TestKeyFolder() + "/dave.pub.asc"));
  LogCapture capture;
  GpgmeContext ctx = OpenEngineContext();
  const ImportOutcome outcome = ImportKeyFile(ctx.get(), path);
  EXPECT_TRUE(outcome.ok()) << outcome;
  EXPECT_EQ(outcome.imported, 1) << outcome;
  EXPECT_EQ(capture.text(), "Importing keys from \"" + path + "\"\n" + Completed() +
                                "Considered keys: 1\nImported keys: 1\n");
  EXPECT_EQ(ring().publicFingerprints(),
            (std::vector<std::string>{ring().fingerprint("alice"), ring().fingerprint("carol"),
                                      ring().fingerprint("dave")}));
}

TEST_F(KeyRingRepair, AnUpdateWhoseLockALivingProcessOrAnotherHostHoldsIsLeftAlone) {
  StopBetweenTheRenames();
  const std::string lock = box() + ".lock";
  const std::vector<std::string> stopped = {"pubring.kbx.lock", "pubring.kbx.tmp", "pubring.kbx~"};
  for (const auto& [pid, host] : std::vector<std::pair<long, std::string>>{
           {getpid(), HostName()}, {getpid(), HostName() + "-elsewhere"}, {1, HostName()}}) {
    WriteLock(lock, pid, host);
    // Not through a listing: its gpg would wait for the lock as long as the holder lives.
    LogCapture capture;
    EXPECT_EQ(CompleteStoppedKeyRingUpdate(ring().home()), KeyRingState::kWhole) << host;
    EXPECT_EQ(capture.text(), "");
    EXPECT_EQ(RingFiles(), stopped) << host;
  }
  // A holder that ended, collected or not, holds nothing.
  const pid_t child = fork();
  if (child == 0) _exit(0);
  WriteLock(lock, child, HostName());
  const auto ended = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (ProcessAlive(child) && std::chrono::steady_clock::now() < ended) usleep(1000);
  if (ProcessAlive(child)) {
    waitpid(child, nullptr, 0);
    FAIL() << "the holder " << child << " ended but still counts as living";
  }
  std::string log;
  GpgDeadline deadline(ring().home(), std::chrono::seconds(20));
  EXPECT_EQ(Listed(&log).size(), 2u);
  EXPECT_FALSE(deadline.stop()) << "the listing waited for a lock that the ended holder "
                                   "does not hold";
  EXPECT_EQ(log, Completed());
  waitpid(child, nullptr, 0);
}

// Nothing to put in place: every operation says why the ring cannot be used, and an import
// fails instead of reporting that it found nothing to import.
TEST_F(KeyRingRepair, ANewBoxThatIsNotWholeIsReportedAndNothingIsMoved) {
  StopBetweenTheRenames();
  WriteFile(box() + ".tmp", "half a key box");
  const std::string notCompleted =
      "Error: the key ring in \"" + ring().home() +
      "\" was left half-updated by a gpg that stopped and cannot be completed: the new key box is "
      "not whole; its earlier state is in \"" +
      box() + "~\"\n";
  std::string log;
  EXPECT_EQ(Listed(&log).size(), 0u);
  EXPECT_EQ(log, notCompleted + "Error: Cannot open keyring\n");

  const std::string path = ring().path("dave.pub.asc");
  WriteFile(path, ReadFile(TestKeyFolder() + "/dave.pub.asc"));
  LogCapture capture;
  GpgmeContext ctx = OpenEngineContext();
  const ImportOutcome outcome = ImportKeyFile(ctx.get(), path);
  EXPECT_FALSE(outcome.ok()) << outcome;
  EXPECT_EQ(capture.text(), "Importing keys from \"" + path + "\"\n" + notCompleted +
                                "Error: the key ring in \"" + ring().home() +
                                "\" cannot be opened: No such file or directory; no key was "
                                "imported\n");
  EXPECT_EQ(RingFiles(), (std::vector<std::string>{"pubring.kbx.tmp", "pubring.kbx~"}));
  EXPECT_TRUE(ReadFile(box() + "~") == m_backup);
}
