#include "tests/e2e/shell_end_to_end.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "tests/support/run_process.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr auto kDeadline = 60s;

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

// Collects the children that have ended; true when none is left uncollected.
bool ReapEnded() {
  for (const auto& [pid, exe] : Children())
    if (exe.empty()) waitpid(pid, nullptr, 0);
  const auto children = Children();
  return std::none_of(children.begin(), children.end(),
                      [](const auto& child) { return child.second.empty(); });
}

}  // namespace

std::vector<std::pair<pid_t, std::string>> Children() {
  std::vector<std::pair<pid_t, std::string>> children;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string stat = ReadWholeFile(entry.path() / "stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    // After the name: the state, then the parent's pid.
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

void ShellEndToEnd::SetUp() {
  KeyRingTest::SetUp();
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  m_files = ring().path("files");
  fs::create_directories(m_files);
  m_runtime = ring().path("runtime");
  fs::create_directories(m_runtime);
  fs::permissions(m_runtime, fs::perms::owner_all);
  m_trace = ring().path("trace.txt");
}

void ShellEndToEnd::TearDown() {
  if (m_launcher > 0 && !m_launcherReaped) {
    kill(m_launcher, SIGKILL);
    waitpid(m_launcher, nullptr, 0);
  }
  KeyRingTest::TearDown();
  // What the launcher left (a gpg-agent its engine started, engine processes of a failed test)
  // came to us: stop it and collect it. The X server and the bus go with their fixture member.
  for (const auto& [pid, exe] : Children())
    if (!exe.empty() && !IsDesktop(pid, exe)) kill(pid, SIGKILL);
  WaitUntil(ReapEnded, 5s);
}

fs::path ShellEndToEnd::Encrypted(const std::string& name, const std::string& content) {
  const fs::path plain = m_files / name;
  fs::create_directories(plain.parent_path());
  WriteFile(plain.string(), content);
  const fs::path out = plain.string() + ".gpg";
  const ProcessResult r = ring().gpg({"--trust-model", "always", "-r", ring().fingerprint("alice"),
                                      "-o", out.string(), "-e", plain.string()});
  EXPECT_EQ(r.exitCode, 0) << r;
  fs::remove(plain);
  return out;
}

Environment ShellEndToEnd::LauncherEnvironment() const {
  return ProgramEnvironment(m_display, m_runtime.string());
}

pid_t ShellEndToEnd::Launcher(const fs::path& path) {
  const std::string program =
      fs::canonical(path.empty() ? fs::path(ZEMBRA_TEST_BIN_DIR) / "ZembraShellExtApp" : path);
  WaitUntil(
      [&] {
        for (const auto& [pid, exe] : Children())
          if (exe == program) m_launcher = pid;
        return m_launcher > 0;
      },
      kDeadline);
  return m_launcher;
}

bool ShellEndToEnd::OpenMenuForBothFiles(
    const std::string& window,
    const std::function<void(const std::vector<std::string>& env)>& show) {
  const std::vector<std::string> env = m_display.environmentEntries();
  int asked = CountMenusForBothFiles();
  return WaitUntil(
      [&] {
        RunProcess({"xdotool", "windowfocus", "--sync", window}, {}, env);
        if (show) show(env);
        RunProcess({"xdotool", "key", "ctrl+a"}, {}, env);
        RunProcess({"xdotool", "key", "shift+F10"}, {}, env);
        if (WaitUntil([&] { return CountMenusForBothFiles() > asked; }, 5s)) return true;
        asked = CountMenusForBothFiles();
        RunProcess({"xdotool", "key", "Escape"}, {}, env);
        return false;
      },
      90s);
}

void ShellEndToEnd::StartFileManager(const std::vector<std::string>& argv,
                                     const std::string& home) {
  for (int attempt = 1; attempt <= 5; ++attempt) {
    m_fileManager.emplace(argv, FileManagerEnvironment(home), fs::path{}, m_trace);
    m_desktopGroups.push_back(m_fileManager->pid());
    if (!m_fileManager->WaitFor(1500ms)) return;
    if (Trace().find("cannot open display") == std::string::npos) return;
  }
}

int ShellEndToEnd::CountMenusForBothFiles() const {
  static constexpr std::string_view kMenuForBoth =
      "Zembra: context menu for 2 file(s): \"Zembra...\" \"Decrypt with Zembra\"";
  const std::string trace = Trace();
  int n = 0;
  for (std::size_t at = 0; (at = trace.find(kMenuForBoth, at)) != std::string::npos; ++at) ++n;
  return n;
}

bool ShellEndToEnd::WaitForDone(int count) const {
  return WaitUntil([&] { return CountLines(Trace(), "log: Done.") == count; }, kDeadline);
}

std::optional<int> ShellEndToEnd::CloseWithEscape() {
  if (m_launcher <= 0) return std::nullopt;
  return CloseZembraWithEscape(
      m_display,
      [&](std::chrono::milliseconds wait) -> std::optional<int> {
        int status = 0;
        if (!WaitUntil([&] { return waitpid(m_launcher, &status, WNOHANG) == m_launcher; }, wait))
          return std::nullopt;
        m_launcherReaped = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      },
      kDeadline);
}

bool ShellEndToEnd::IsDesktop(pid_t pid, const std::string& exe) const {
  if (fs::path(exe).filename() == "Xvfb" || m_display.bus().IsOwnProcess(pid)) return true;
  const pid_t group = getpgid(pid);
  return std::find(m_desktopGroups.begin(), m_desktopGroups.end(), group) != m_desktopGroups.end();
}

std::vector<std::string> ShellEndToEnd::LeftBehind() {
  // Ended ones are collected first: GPGME starts each engine process detached, so those come to
  // us as they would come to init.
  ReapEnded();
  const std::vector<int> daemons = DaemonsOf(ring().home());
  std::vector<std::string> left;
  for (const auto& [pid, exe] : Children()) {
    if (std::find(daemons.begin(), daemons.end(), pid) != daemons.end()) continue;
    if (IsDesktop(pid, exe)) continue;
    left.push_back(std::to_string(pid) + " " + exe);
  }
  return left;
}

ModuleInSystemFolder::ModuleInSystemFolder(const fs::path& module, const fs::path& copy)
    : m_path(copy) {
  fs::copy_file(module, m_path, fs::copy_options::overwrite_existing);
}

ModuleInSystemFolder::~ModuleInSystemFolder() {
  std::error_code ignored;
  fs::remove(m_path, ignored);
}

fs::path ShellEndToEnd::InstallBuild(const std::string& cmake, const std::string& buildDir,
                                     const fs::path& prefix, const std::string& extensionDir,
                                     const std::string& managerPrefix, const std::string& module) {
  const ProcessResult r = RunProcess(
      {cmake, "--install", buildDir, "--prefix", prefix.string(), "--component", "Unspecified"});
  std::error_code ignored;
  fs::remove(fs::path(buildDir) / "install_manifest_Unspecified.txt", ignored);
  EXPECT_EQ(r.exitCode, 0) << r;
  EXPECT_NE(r.out.find("Registered the shell extension"), std::string::npos) << r;
  return prefix / fs::path(extensionDir).lexically_relative(managerPrefix) / module;
}

Environment ShellEndToEnd::FileManagerEnvironment(const std::string& home) const {
  return ProgramEnvironment(m_display, m_runtime.string(),
                            {{"HOME", home},
                             {"XDG_CONFIG_HOME", home + "/.config"},
                             {"XDG_DATA_HOME", home + "/.local/share"},
                             {"XDG_CACHE_HOME", home + "/.cache"},
                             {"XDG_STATE_HOME", home + "/.local/state"},
                             {"GSETTINGS_BACKEND", "memory"}});
}
