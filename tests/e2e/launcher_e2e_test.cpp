// The real ZembraShellExtApp under a virtual X server: a job from the command line runs when the
// window opens, the log reaches the trace, Escape closes the window and the exit code is 0.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <fstream>
#include <regex>

#include "platform/core/registry.h"
#include "tests/e2e/child_process.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr auto kDeadline = 60s;

std::string BinDir() {
  const char* dir = getenv("ZEMBRA_BIN_DIR");
  return dir ? dir : "bin";
}

// A folder of its own for one test; short, so that the agent's socket path fits.
class Scratch {
 public:
  Scratch() {
    char pattern[] = "/tmp/ze-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
  }
  const fs::path& path() const { return m_path; }

 private:
  fs::path m_path;
};

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

class LauncherEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    m_home = m_scratch.path() / "g";
    m_files = m_scratch.path() / "files";
    m_registry = m_scratch.path() / "registry";
    fs::create_directories(m_home);
    fs::permissions(m_home, fs::perms::owner_all);
    fs::create_directories(m_files);
    fs::create_directories(m_registry);

    // The installed key ring, not the portable one beside the library.
    setenv("ZEMBRA_REGISTRY_DIR", m_registry.c_str(), 1);
    RegKey key;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvel Ltd\\Zembra", 0, nullptr,
                             REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, key.put(),
                             nullptr),
              ERROR_SUCCESS);
    const char full[] = "Full";
    ASSERT_EQ(RegSetValueEx(key.get(), "Type", 0, REG_SZ, reinterpret_cast<const BYTE*>(full),
                            sizeof(full)),
              ERROR_SUCCESS);
    key.reset();
    unsetenv("ZEMBRA_REGISTRY_DIR");

    // A key without passphrase that can decrypt what the test encrypts.
    ASSERT_EQ(Gpg({"--pinentry-mode", "loopback", "--passphrase", "", "--quick-gen-key",
                   "E2E Tester <e2e@example.org>", "default", "default", "never"}),
              0);
  }

  void TearDown() override {
    RunProgram({"gpgconf", "--homedir", m_home.string(), "--kill", "all"}, EnvironmentWith({}));
  }

  int Gpg(std::vector<std::string> args) {
    args.insert(args.begin(), {"gpg", "--homedir", m_home.string(), "--batch", "--yes", "--quiet"});
    return RunProgram(args, EnvironmentWith({{"GNUPGHOME", m_home.string()}})).code;
  }

  // Writes name with the content and encrypts it to name + ".gpg"; the plain file is removed.
  std::string Encrypted(const std::string& name, const std::string& content) {
    const fs::path plain = m_files / name;
    std::ofstream(plain) << content;
    const std::string out = plain.string() + ".gpg";
    EXPECT_EQ(Gpg({"--trust-model", "always", "-r", "e2e@example.org", "-o", out, "-e",
                   plain.string()}),
              0);
    fs::remove(plain);
    return out;
  }

  // Starts a program of the build (the launcher unless named) on the virtual display.
  void Launch(const std::vector<std::string>& args, const std::string& program = "ZembraShellExtApp") {
    std::vector<std::string> argv{BinDir() + "/" + program};
    argv.insert(argv.end(), args.begin(), args.end());
    m_trace = m_scratch.path() / "trace.txt";
    m_launcher.emplace(argv,
                       EnvironmentWith({{"DISPLAY", m_display.name()},
                                        {"QT_QPA_PLATFORM", "xcb"},
                                        {"ZEMBRA_TRACE", "1"},
                                        {"ZEMBRA_REGISTRY_DIR", m_registry.string()},
                                        {"GNUPGHOME", m_home.string()},
                                        {"XDG_CONFIG_HOME", (m_scratch.path() / "config").string()}}),
                       fs::path{}, m_trace);
  }

  std::vector<std::string> Log() { return LogLines(ReadWholeFile(m_trace)); }

  // The id of the operations window, once it is mapped.
  std::string WindowId() {
    std::string id;
    WaitUntil(
        [&] {
          const RunResult r = RunProgram({"xdotool", "search", "--onlyvisible", "--name", "^Zembra$"},
                                  EnvironmentWith({{"DISPLAY", m_display.name()}}));
          if (r.code != 0 || r.out.empty()) return false;
          id = r.out.substr(0, r.out.find('\n'));
          return true;
        },
        kDeadline);
    return id;
  }

  // Escape on the window, then the exit code of the launcher.
  std::optional<int> CloseWithEscape() {
    const std::string id = WindowId();
    EXPECT_FALSE(id.empty()) << "no window named Zembra";
    const Environment env = EnvironmentWith({{"DISPLAY", m_display.name()}});
    RunProgram({"xdotool", "windowfocus", "--sync", id}, env);
    RunProgram({"xdotool", "key", "--window", id, "Escape"}, env);
    return m_launcher->WaitFor(kDeadline);
  }

  Scratch m_scratch;
  fs::path m_home, m_files, m_registry, m_trace;
  VirtualDisplay m_display;
  std::optional<ChildProcess> m_launcher;
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
      "Please choose key(s) and press Decrypt button to proceed 2 files (" + a + " and others)",
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
  std::ofstream(plain) << "stays\n";

  Launch({"1", plain, x});
  ASSERT_TRUE(WaitUntil([&] { return Count(Log(), "Done.") == 1; }, kDeadline))
      << ReadWholeFile(m_trace);

  EXPECT_EQ(ReadWholeFile(m_files / "x.txt"), "auto\n");
  EXPECT_FALSE(fs::exists(plain + ".gpg"));
  const std::vector<std::string> expected{
      "Please choose key(s) and press Encrypt button to proceed 2 files (" + plain +
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
      "Please choose key(s) and press Encrypt button to proceed 1 files (" + c + ")",
      "Decrypting \"" + c + "\"...",
      "Done.",
  };
  EXPECT_EQ(Log(), expected);

  EXPECT_EQ(CloseWithEscape(), 0);
}
