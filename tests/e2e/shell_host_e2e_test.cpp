// zembra-shell-host as the file manager, the real launcher it starts under a virtual X server:
// the menu for encrypted files, "Decrypt with Zembra" chosen, both files decrypted on disk, and
// nothing left running once the window is closed. Hostile file names go through the whole
// chain (host argv, handler, command line, splitter, launcher) and come out as the same files.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "tests/e2e/child_process.h"
#include "tests/support/key_ring.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr auto kDeadline = 60s;

std::string BinDir() { return ZEMBRA_TEST_BIN_DIR; }

int CountLines(const std::string& text, const std::string& line) {
  int n = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (text.compare(start, end - start, line) == 0) ++n;
    start = end + 1;
  }
  return n;
}

// Our own children, with the program each runs ("" once it has ended and is a zombie).
std::vector<std::pair<pid_t, std::string>> Children() {
  std::vector<std::pair<pid_t, std::string>> children;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string stat = ReadWholeFile(entry.path() / "stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    // After ')': state, then the parent's pid.
    pid_t parent = 0;
    char state = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &parent) != 2) continue;
    if (parent != getpid()) continue;
    std::error_code noExe;
    const fs::path exe = fs::read_symlink(entry.path() / "exe", noExe);
    children.emplace_back(std::stoi(name), state == 'Z' ? "" : exe.string());
  }
  return children;
}

// The launcher runs detached from the host. The test process takes the orphans of its
// descendants (a subreaper), so the launcher becomes its child once the host's helper has
// exited: its exit code can be read and it can always be stopped.
class ShellHostEndToEnd : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice"}}; }

  void SetUp() override {
    KeyRingTest::SetUp();
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    m_files = ring().path("files");
    fs::create_directories(m_files);
    m_runtime = ring().path("runtime");
    fs::create_directories(m_runtime);
    fs::permissions(m_runtime, fs::perms::owner_all);
    m_trace = ring().path("trace.txt");
  }

  void TearDown() override {
    if (m_launcher > 0 && !m_launcherReaped) {
      kill(m_launcher, SIGKILL);
      waitpid(m_launcher, nullptr, 0);
    }
    KeyRingTest::TearDown();
    // A gpg-agent that the launcher's engine started was left to us; the key ring has stopped it.
    WaitUntil(ReapEnded, 5s);
  }

  // Writes the file under m_files (name may hold folders) and encrypts it to name + ".gpg";
  // the plain file is removed. Returns the encrypted file's path.
  fs::path Encrypted(const std::string& name, const std::string& content) {
    const fs::path plain = m_files / name;
    fs::create_directories(plain.parent_path());
    WriteFile(plain.string(), content);
    const fs::path out = plain.string() + ".gpg";
    const ProcessResult r = ring().gpg({"--trust-model", "always", "-r",
                                        ring().fingerprint("alice"), "-o", out.string(), "-e",
                                        plain.string()});
    EXPECT_EQ(r.exitCode, 0) << r;
    fs::remove(plain);
    return out;
  }

  // Runs zembra-shell-host in the folder with the arguments on the virtual display, to its end.
  // Its standard output is returned; its standard error, and so the launcher's trace, goes to
  // m_trace.
  std::string Host(const std::vector<std::string>& args, const fs::path& folder) {
    std::vector<std::string> argv{"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", folder.string(),
                                  BinDir() + "/zembra-shell-host"};
    argv.insert(argv.end(), args.begin(), args.end());
    const fs::path out = ring().path("host-out.txt");
    ChildProcess host(argv,
                      EnvironmentWith({{"DISPLAY", m_display.name()},
                                       {"QT_QPA_PLATFORM", "xcb"},
                                       {"ZEMBRA_TRACE", "1"},
                                       {"XDG_RUNTIME_DIR", m_runtime.string()}}),
                      out, m_trace);
    EXPECT_EQ(host.WaitFor(kDeadline), 0) << ReadWholeFile(m_trace);
    return ReadWholeFile(out);
  }

  // The launcher once it has become our child.
  pid_t Launcher() {
    const std::string program = fs::canonical(BinDir() + "/ZembraShellExtApp").string();
    WaitUntil(
        [&] {
          for (const auto& [pid, exe] : Children())
            if (exe == program) m_launcher = pid;
          return m_launcher > 0;
        },
        kDeadline);
    return m_launcher;
  }

  // Escape on the operations window; then the launcher's exit code.
  std::optional<int> CloseWithEscape() {
    const std::vector<std::string> env{"DISPLAY=" + m_display.name()};
    std::string id;
    WaitUntil(
        [&] {
          const ProcessResult r =
              RunProcess({"xdotool", "search", "--onlyvisible", "--name", "^Zembra$"}, {}, env);
          if (r.exitCode != 0 || r.out.empty()) return false;
          id = r.out.substr(0, r.out.find('\n'));
          return true;
        },
        kDeadline);
    if (id.empty()) return std::nullopt;
    RunProcess({"xdotool", "windowfocus", "--sync", id}, {}, env);
    RunProcess({"xdotool", "key", "--window", id, "Escape"}, {}, env);
    int status = 0;
    const bool ended = WaitUntil(
        [&] { return waitpid(m_launcher, &status, WNOHANG) == m_launcher; }, kDeadline);
    if (!ended) return std::nullopt;
    m_launcherReaped = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Children still running that are neither the X server nor the key ring's daemons. Ended
  // ones are collected first: GPGME starts each engine process detached, so those come to us
  // as they would come to init.
  std::vector<std::string> LeftBehind() {
    ReapEnded();
    const std::vector<int> daemons = DaemonsOf(ring().home());
    std::vector<std::string> left;
    for (const auto& [pid, exe] : Children()) {
      if (std::find(daemons.begin(), daemons.end(), pid) != daemons.end()) continue;
      if (fs::path(exe).filename() == "Xvfb") continue;
      left.push_back(std::to_string(pid) + " " + exe);
    }
    return left;
  }

  // Collects the children that have ended; true when none is left uncollected.
  static bool ReapEnded() {
    for (const auto& [pid, exe] : Children())
      if (exe.empty()) waitpid(pid, nullptr, 0);
    const auto children = Children();
    return std::none_of(children.begin(), children.end(),
                        [](const auto& child) { return child.second.empty(); });
  }

  fs::path m_files, m_runtime, m_trace;
  VirtualDisplay m_display;
  pid_t m_launcher = -1;
  bool m_launcherReaped = false;
};

}  // namespace

TEST_F(ShellHostEndToEnd, DecryptWithZembraDecryptsBothSelectedFiles) {
  const fs::path a = Encrypted("a.txt", "first file\n");
  const fs::path b = Encrypted("b.txt", "second file\n");

  EXPECT_EQ(Host({a.string(), b.string()}, m_files),
            "Zembra...\tEncrypt/decrypt file(s) with Zembra\n"
            "Decrypt with Zembra\tDecrypt file(s) with Zembra\n"
            "-\n");
  EXPECT_EQ(Host({"--invoke", "1", a.string(), b.string()}, m_files),
            "Zembra...\tEncrypt/decrypt file(s) with Zembra\n"
            "Decrypt with Zembra\tDecrypt file(s) with Zembra\n"
            "-\n");
  ASSERT_GT(Launcher(), 0) << "the launcher did not start:\n" << ReadWholeFile(m_trace);
  ASSERT_TRUE(WaitUntil([&] { return CountLines(ReadWholeFile(m_trace), "log: Done.") == 2; },
                        kDeadline))
      << ReadWholeFile(m_trace);

  EXPECT_EQ(ReadWholeFile(m_files / "a.txt"), "first file\n");
  EXPECT_EQ(ReadWholeFile(m_files / "b.txt"), "second file\n");
  const std::string trace = ReadWholeFile(m_trace);
  EXPECT_NE(trace.find("log: Decrypting \"" + a.string() + "\"..."), std::string::npos) << trace;
  EXPECT_NE(trace.find("log: Decrypting \"" + b.string() + "\"..."), std::string::npos) << trace;

  EXPECT_EQ(CloseWithEscape(), 0) << ReadWholeFile(m_trace);
  EXPECT_EQ(LeftBehind(), std::vector<std::string>{});
}

// Each name is one the splitting rules or an option parser could take apart; given relative to
// the host's folder, the launcher must open exactly these files from the same folder.
TEST_F(ShellHostEndToEnd, HostileNamesAreDecryptedAsTheFilesTheyName) {
  std::string deep;
  for (int i = 0; i < 15; ++i) deep += std::string(250, static_cast<char>('a' + i)) + "/";
  const std::vector<std::string> names{
      "two  words",       "say \"hi\" \\\"",   "new\nline",
      "100% %MODULE% %1", "-rf",               "--help",
      "\xff\xfe not utf-8", "back\\slash\\", deep + "deep"};
  std::vector<std::string> args{"--invoke", "1", "--"};
  for (const std::string& name : names) {
    Encrypted(name, "content of " + name);
    args.push_back(name + ".gpg");
  }

  Host(args, m_files);
  ASSERT_GT(Launcher(), 0) << "the launcher did not start:\n" << ReadWholeFile(m_trace);
  const int expected = static_cast<int>(names.size());
  ASSERT_TRUE(WaitUntil(
      [&] { return CountLines(ReadWholeFile(m_trace), "log: Done.") == expected; }, kDeadline))
      << ReadWholeFile(m_trace);

  for (const std::string& name : names)
    EXPECT_EQ(ReadWholeFile(m_files / name), "content of " + name) << name;
  EXPECT_EQ(ReadWholeFile(m_trace).find("log: Error"), std::string::npos) << ReadWholeFile(m_trace);

  EXPECT_EQ(CloseWithEscape(), 0) << ReadWholeFile(m_trace);
  EXPECT_EQ(LeftBehind(), std::vector<std::string>{});
}
