// The real ZembraShellExtApp under a virtual X server: a job from the command line runs when the
// window opens, the log reaches the trace, Escape closes the window and the exit code is 0.
#include <gtest/gtest.h>

#include <chrono>

#include "tests/e2e/child_process.h"
#include "tests/support/key_ring.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr auto kDeadline = 60s;

std::string BinDir() { return ZEMBRA_TEST_BIN_DIR; }

std::vector<std::string> LogLines(const std::string& trace) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < trace.size()) {
    std::size_t end = trace.find('\n', start);
    if (end == std::string::npos) end = trace.size();
    const std::string line = trace.substr(start, end - start);
    if (line.rfind("log: ", 0) == 0) lines.push_back(line.substr(5));
    start = end + 1;
  }
  return lines;
}

int Count(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

// The key ring's environment (GNUPGHOME, the registry with a full installation, HOME) reaches
// the programs, which inherit this process's environment.
class LauncherEndToEnd : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice"}}; }

  void SetUp() override {
    KeyRingTest::SetUp();
    m_files = ring().path("files");
    fs::create_directories(m_files);
  }

  // Writes name with the content and encrypts it to name + ".gpg"; the plain file is removed.
  std::string Encrypted(const std::string& name, const std::string& content) {
    const std::string plain = (m_files / name).string();
    WriteFile(plain, content);
    const std::string out = plain + ".gpg";
    const ProcessResult r = ring().gpg(
        {"--trust-model", "always", "-r", ring().fingerprint("alice"), "-o", out, "-e", plain});
    EXPECT_EQ(r.exitCode, 0) << r;
    fs::remove(plain);
    return out;
  }

  // Starts a program of the build (the launcher unless named) on the virtual display, through
  // the wrapper's command when one is given (it must exec the program).
  void Launch(const std::vector<std::string>& args,
              const std::string& program = "ZembraShellExtApp",
              const std::vector<std::string>& wrapper = {}) {
    std::vector<std::string> argv = wrapper;
    argv.push_back(BinDir() + "/" + program);
    argv.insert(argv.end(), args.begin(), args.end());
    m_trace = ring().path("trace.txt");
    // Qt's private runtime folder, inside the test's own folder.
    const std::string runtime = ring().path("runtime");
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    m_launcher.emplace(argv, ProgramEnvironment(m_display, runtime), fs::path{}, m_trace);
  }

  std::vector<std::string> Log() { return LogLines(ReadWholeFile(m_trace)); }

  // Escape on the window, then the exit code of the launcher.
  std::optional<int> CloseWithEscape() {
    std::optional<int> code = CloseZembraWithEscape(
        m_display, [&](std::chrono::milliseconds wait) { return m_launcher->WaitFor(wait); },
        kDeadline);
    EXPECT_TRUE(code.has_value()) << "no window named Zembra closed; the program wrote:\n"
                                  << ReadWholeFile(m_trace);
    return code;
  }

  fs::path m_files, m_trace;
  VirtualDisplay m_display;
  std::optional<ChildProcess> m_launcher;

  void TearDown() override {
    m_launcher.reset();  // before the key ring goes
    KeyRingTest::TearDown();
  }
};

}  // namespace

TEST_F(LauncherEndToEnd, DecryptJobRunsWhenTheWindowOpens) {
  const std::string a = Encrypted("a.txt", "first file\n");
  const std::string b = Encrypted("b.txt", "second file\n");

  Launch({"3", a, b});
  ASSERT_TRUE(WaitUntil([&] { return Count(Log(), "Done.") == 2; }, kDeadline))
      << ReadWholeFile(m_trace);

  EXPECT_EQ(ReadWholeFile(m_files / "a.txt"), "first file\n");
  EXPECT_EQ(ReadWholeFile(m_files / "b.txt"), "second file\n");
  const std::vector<std::string> expected{
      "Please choose key(s) and press `Decrypt` button to proceed 2 files (" + a + " and others)",
      "Decrypting \"" + a + "\"...",
      "Done.",
      "Decrypting \"" + b + "\"...",
      "Done.",
  };
  EXPECT_EQ(Log(), expected);

  EXPECT_EQ(CloseWithEscape(), 0);
}

TEST_F(LauncherEndToEnd, AutoJobDecryptsByEndingAndKeepsTheRest) {
  const std::string x = Encrypted("x.txt", "auto\n");
  const std::string plain = (m_files / "n.txt").string();
  WriteFile(plain, "stays\n");

  Launch({"1", plain, x});
  ASSERT_TRUE(WaitUntil([&] { return Count(Log(), "Done.") == 1; }, kDeadline))
      << ReadWholeFile(m_trace);

  EXPECT_EQ(ReadWholeFile(m_files / "x.txt"), "auto\n");
  EXPECT_FALSE(fs::exists(plain + ".gpg"));
  const std::vector<std::string> expected{
      "Please choose key(s) and press `Encrypt` button to proceed 2 files (" + plain +
          " and others)",
      "Decrypting \"" + x + "\"...",
      "Done.",
  };
  EXPECT_EQ(Log(), expected);

  EXPECT_EQ(CloseWithEscape(), 0);
}

TEST_F(LauncherEndToEnd, AutoWithoutPathsWritesNothing) {
  Launch({"1"});
  EXPECT_EQ(CloseWithEscape(), 0);
  EXPECT_TRUE(Log().empty()) << ReadWholeFile(m_trace);
}

TEST_F(LauncherEndToEnd, NoArgumentsOpensAnEmptyWindow) {
  Launch({});
  EXPECT_EQ(CloseWithEscape(), 0);
  EXPECT_TRUE(Log().empty()) << ReadWholeFile(m_trace);
}

// The main program that associated files open: its one file is processed by its ending.
TEST_F(LauncherEndToEnd, MainProgramDecryptsTheFileItWasOpenedWith) {
  const std::string c = Encrypted("c.txt", "opened by association\n");

  Launch({c}, "Zembra");
  ASSERT_TRUE(WaitUntil([&] { return Count(Log(), "Done.") == 1; }, kDeadline))
      << ReadWholeFile(m_trace);

  EXPECT_EQ(ReadWholeFile(m_files / "c.txt"), "opened by association\n");
  const std::vector<std::string> expected{
      "Please choose key(s) and press `Encrypt` button to proceed 1 files (" + c + ")",
      "Decrypting \"" + c + "\"...",
      "Done.",
  };
  EXPECT_EQ(Log(), expected);

  EXPECT_EQ(CloseWithEscape(), 0);
}

// Under a file-size limit (ulimit -f) the launcher died of SIGXFSZ at the first write past it,
// without a word. The write fails instead: one error line, no output, and the window stays.
TEST_F(LauncherEndToEnd, AFileSizeLimitFailsTheOutputAndTheProgramLivesOn) {
  std::string big(1 << 20, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 5);
  const std::string m = Encrypted("m.bin", big);
  const std::string after = Encrypted("after.txt", "still working\n");

  Launch({"3", m, after}, "ZembraShellExtApp", {"prlimit", "--fsize=65536"});
  ASSERT_TRUE(
      WaitUntil([&] { return Count(Log(), "Done.") == 1 || m_launcher->WaitFor(0ms); }, kDeadline))
      << ReadWholeFile(m_trace);

  const std::vector<std::string> expected{
      "Please choose key(s) and press `Decrypt` button to proceed 2 files (" + m + " and others)",
      "Decrypting \"" + m + "\"...",
      "Error: File too large",
      "Decrypting \"" + after + "\"...",
      "Done.",
  };
  EXPECT_EQ(Log(), expected) << ReadWholeFile(m_trace);
  EXPECT_FALSE(fs::exists(m_files / "m.bin"));
  EXPECT_EQ(ReadWholeFile(m_files / "after.txt"), "still working\n");
  EXPECT_EQ(CloseWithEscape(), 0);
}
