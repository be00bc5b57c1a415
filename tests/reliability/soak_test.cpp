// The soak, run by scripts/soak.sh and never by the suite: the real launcher under a virtual X
// server, one encryption job and one decryption job over many small files (10,000) and over one
// big file (5 GiB), with the default keys in use so that no one has to choose. Every output is
// checked byte for byte; the launcher's resident memory is sampled through the jobs and its
// peak reported; beyond the lines its log keeps, it must not grow with the number of files or
// bytes.
//   ZEMBRA_SOAK_FILES  number of small files (default 10000)
//   ZEMBRA_SOAK_GIB    size of the big file in GiB (default 5; 0 skips it)
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/core/log.h"
#include "tests/e2e/child_process.h"
#include "tests/support/key_ring.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_env.h"
#include "zembra/keys/default_keys.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

long EnvNumber(const char* name, long fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::strtol(value, nullptr, 10) : fallback;
}

// A field of /proc/PID/status in KiB ("VmRSS", "VmHWM"); 0 once the process is gone.
long StatusKiB(pid_t pid, const std::string& field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0)
      return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
  }
  return 0;
}

// The bytes of the big file: a fast generator, so that the check needs no second copy.
class Stream {
 public:
  void Fill(std::vector<char>& block) {
    for (std::size_t i = 0; i + 8 <= block.size(); i += 8) {
      m_state ^= m_state << 13;
      m_state ^= m_state >> 7;
      m_state ^= m_state << 17;
      std::copy_n(reinterpret_cast<const char*>(&m_state), 8, block.data() + i);
    }
  }

 private:
  std::uint64_t m_state = 0x9E3779B97F4A7C15ull;
};

constexpr std::size_t kBlock = 1 << 20;

void WriteStream(const std::string& path, std::uint64_t bytes) {
  std::ofstream out(path, std::ios::binary);
  Stream stream;
  std::vector<char> block(kBlock);
  for (std::uint64_t done = 0; done < bytes; done += kBlock) {
    stream.Fill(block);
    out.write(block.data(),
              static_cast<std::streamsize>(std::min<std::uint64_t>(kBlock, bytes - done)));
  }
  ASSERT_TRUE(out.good()) << path;
}

// The offset of the first byte that differs from the stream, or -1 when the file is the stream.
long long FirstDifference(const std::string& path, std::uint64_t bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in || fs::file_size(path) != bytes) return 0;
  Stream stream;
  std::vector<char> expected(kBlock), actual(kBlock);
  for (std::uint64_t done = 0; done < bytes; done += kBlock) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, bytes - done));
    stream.Fill(expected);
    in.read(actual.data(), static_cast<std::streamsize>(n));
    if (!std::equal(actual.begin(), actual.begin() + static_cast<long>(n), expected.begin()))
      return static_cast<long long>(done);
  }
  return -1;
}

// The memory the window's log takes for the lines of a job of `files` files by itself: the log
// keeps every line it was shown, so a job's memory grows by this much and should by no more.
long LogCostKiB(int files) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  long before = 0, after = 0;
  RunInHostWindow([&](HWND) {
    AppendLogText("warm-up\r\n");
    before = StatusKiB(getpid(), "VmRSS");
    for (int i = 0; i < files; ++i) {
      AppendLogText("Encrypting \"/tmp/zk-gUHA4M/files/f" + std::to_string(i) + ".txt\"...\r\n");
      AppendLogText("Done.\r\n");
    }
    after = StatusKiB(getpid(), "VmRSS");
  });
  return after - before;
}

std::string SmallContent(int i) { return "small file " + std::to_string(i) + "\n"; }

// What one job did: its log lines counted, and the launcher's memory.
struct JobFigures {
  std::size_t done = 0;
  std::size_t errors = 0;
  long warmKiB = 0;  // resident once a tenth of the job was done
  long endKiB = 0;   // resident at the end
  long peakKiB = 0;  // the kernel's high-water mark
  double seconds = 0;
  std::string firstError;
};

class Soak : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice"}}; }

  void SetUp() override {
    KeyRingTest::SetUp();
    m_files = ring().path("files");
    fs::create_directories(m_files);
    m_runtime = ring().path("runtime");
    fs::create_directories(m_runtime);
    fs::permissions(m_runtime, fs::perms::owner_all);
    // Alice as the default key: an encryption job then starts without a choice.
    SaveDefaultKeys(LongId(), true);
  }

  std::string LongId() {
    const std::string fpr = ring().fingerprint("alice");
    return fpr.substr(fpr.size() - 16);
  }

  // Runs the launcher on the command and paths until `expected` files are done (or it stops),
  // then closes it with Escape.
  JobFigures RunJob(const std::string& command, const std::vector<std::string>& paths,
                    std::chrono::minutes deadline) {
    std::vector<std::string> argv{std::string(ZEMBRA_TEST_BIN_DIR) + "/ZembraShellExtApp", command};
    argv.insert(argv.end(), paths.begin(), paths.end());
    const std::string trace = ring().path("trace-" + command + ".txt");
    JobFigures figures;
    const auto start = std::chrono::steady_clock::now();
    ChildProcess launcher(argv, ProgramEnvironment(m_display, m_runtime), fs::path{}, trace);
    std::size_t offset = 0;
    std::string pending;
    const auto count = [&] {
      std::ifstream in(trace, std::ios::binary);
      in.seekg(static_cast<std::streamoff>(offset));
      std::string chunk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      offset += chunk.size();
      pending += chunk;
      std::size_t end;
      while ((end = pending.find('\n')) != std::string::npos) {
        const std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        if (line == "log: Done.") ++figures.done;
        if (line.rfind("log: Error", 0) == 0 || line.find("log: Cannot") == 0) {
          if (figures.errors++ == 0) figures.firstError = line;
        }
      }
      if (figures.warmKiB == 0 && figures.done >= std::max<std::size_t>(1, paths.size() / 10))
        figures.warmKiB = StatusKiB(launcher.pid(), "VmRSS");
      figures.peakKiB = std::max(figures.peakKiB, StatusKiB(launcher.pid(), "VmHWM"));
      return figures.done + figures.errors >= paths.size() || launcher.WaitFor(0ms).has_value();
    };
    EXPECT_TRUE(WaitUntil(count, deadline)) << "job " << command << " did not end in time";
    figures.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    figures.endKiB = StatusKiB(launcher.pid(), "VmRSS");
    figures.peakKiB = std::max(figures.peakKiB, StatusKiB(launcher.pid(), "VmHWM"));
    CloseWindow();
    EXPECT_EQ(launcher.WaitFor(60s), 0) << "the launcher did not close";
    std::printf(
        "[soak] job %s: %zu files in %.1f s, %zu done, %zu errors; resident %ld KiB after "
        "a tenth, %ld KiB at the end, peak %ld KiB\n",
        command.c_str(), paths.size(), figures.seconds, figures.done, figures.errors,
        figures.warmKiB, figures.endKiB, figures.peakKiB);
    std::fflush(stdout);
    return figures;
  }

  void CloseWindow() {
    const std::string id = WaitForWindow(m_display, "^Zembra$", 60s);
    ASSERT_FALSE(id.empty()) << "no window named Zembra";
    EXPECT_TRUE(TypeKeys(m_display, id, {"Escape"}, 60s));
  }

  fs::path m_files;
  std::string m_runtime;
  VirtualDisplay m_display;
};

}  // namespace

TEST_F(Soak, ManySmallFilesEncryptedAndDecryptedWithFlatMemory) {
  const int count = static_cast<int>(EnvNumber("ZEMBRA_SOAK_FILES", 10000));
  std::vector<std::string> plain, encrypted;
  for (int i = 0; i < count; ++i) {
    plain.push_back((m_files / ("f" + std::to_string(i) + ".txt")).string());
    encrypted.push_back(plain.back() + ".gpg");
    WriteFile(plain.back(), SmallContent(i));
  }
  const JobFigures encryption = RunJob("2", plain, 120min);
  EXPECT_EQ(encryption.done, plain.size()) << encryption.firstError;
  EXPECT_EQ(encryption.errors, 0u) << encryption.firstError;
  for (const std::string& path : plain) fs::remove(path);

  const JobFigures decryption = RunJob("3", encrypted, 120min);
  EXPECT_EQ(decryption.done, encrypted.size()) << decryption.firstError;
  EXPECT_EQ(decryption.errors, 0u) << decryption.firstError;
  int wrong = 0;
  for (int i = 0; i < count; ++i) {
    if (ReadWholeFile(plain[static_cast<std::size_t>(i)]) != SmallContent(i) && wrong++ < 5)
      ADD_FAILURE() << "wrong or missing output " << plain[static_cast<std::size_t>(i)];
  }
  EXPECT_EQ(wrong, 0);
  // Growth after the first tenth, less what the log's lines take by themselves.
  const long logKiB = LogCostKiB(count - count / 10);
  std::printf("[soak] the log's own lines for %d files: %ld KiB\n", count - count / 10, logKiB);
  for (const JobFigures* job : {&encryption, &decryption})
    EXPECT_LT(job->endKiB - job->warmKiB - logKiB, 8 * 1024)
        << "memory grew with the number of files";
  std::printf("[reliability] tries: %d\n", 2 * count);
}

TEST_F(Soak, BigFileEncryptedAndDecryptedWithFlatMemory) {
  const long gib = EnvNumber("ZEMBRA_SOAK_GIB", 5);
  if (gib <= 0) GTEST_SKIP() << "ZEMBRA_SOAK_GIB=0";
  const std::uint64_t bytes = static_cast<std::uint64_t>(gib) << 30;
  struct statvfs disk {};
  ASSERT_EQ(statvfs(m_files.c_str(), &disk), 0);
  const std::uint64_t free = static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize;
  if (free < 2 * bytes + (1ull << 30)) GTEST_SKIP() << "not enough free disk for two copies";

  const std::string plain = (m_files / "big.bin").string();
  WriteStream(plain, bytes);
  const JobFigures encryption = RunJob("2", {plain}, 180min);
  EXPECT_EQ(encryption.done, 1u) << encryption.firstError;
  ASSERT_TRUE(fs::exists(plain + ".gpg"));
  fs::remove(plain);

  const JobFigures decryption = RunJob("3", {plain + ".gpg"}, 180min);
  EXPECT_EQ(decryption.done, 1u) << decryption.firstError;
  EXPECT_EQ(FirstDifference(plain, bytes), -1) << "the decrypted file differs";
  fs::remove(plain);
  fs::remove(plain + ".gpg");
  // The file streams through fixed buffers: the peak stays far below the file's size.
  for (const JobFigures* job : {&encryption, &decryption}) EXPECT_LT(job->peakKiB, 256 * 1024);
  std::printf("[reliability] tries: 2\n");
}
