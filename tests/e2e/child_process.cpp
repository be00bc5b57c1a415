#include "tests/e2e/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/run_process.h"

extern char** environ;

namespace {

std::vector<char*> CStrings(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (auto& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

void Redirect(const std::filesystem::path& file, int target) {
  const char* path = file.empty() ? "/dev/null" : file.c_str();
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) _exit(126);
  dup2(fd, target);
  close(fd);
}

}  // namespace

Environment EnvironmentWith(const Environment& changes) {
  Environment env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const auto eq = entry.find('=');
    if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  for (const auto& [name, value] : changes) {
    if (value.empty()) {
      env.erase(name);
    } else {
      env[name] = value;
    }
  }
  return env;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Environment& env,
                           const std::filesystem::path& out, const std::filesystem::path& err,
                           int keepFd) {
  std::vector<std::string> args = argv;
  std::vector<std::string> envStrings;
  for (const auto& [name, value] : env) envStrings.push_back(name + "=" + value);
  std::vector<char*> cargs = CStrings(args);
  std::vector<char*> cenv = CStrings(envStrings);

  m_pid = fork();
  if (m_pid < 0) throw std::runtime_error("fork failed");
  if (m_pid == 0) {
    Redirect(out, STDOUT_FILENO);
    Redirect(err, STDERR_FILENO);
    if (keepFd >= 0) fcntl(keepFd, F_SETFD, 0);
    setpgid(0, 0);  // its own group, so that stopping it stops what it started
    execvpe(cargs[0], cargs.data(), cenv.data());
    _exit(127);
  }
}

ChildProcess::~ChildProcess() { Kill(); }

void ChildProcess::Kill() {
  if (m_pid <= 0 || m_reaped) return;
  kill(-m_pid, SIGTERM);
  kill(m_pid, SIGTERM);
  if (!WaitFor(std::chrono::seconds(5))) {
    kill(-m_pid, SIGKILL);
    kill(m_pid, SIGKILL);
    waitpid(m_pid, &m_status, 0);
    m_reaped = true;
  }
}

std::optional<int> ChildProcess::WaitFor(std::chrono::milliseconds deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!m_reaped) {
    const pid_t r = waitpid(m_pid, &m_status, WNOHANG);
    if (r == m_pid) {
      m_reaped = true;
      break;
    }
    if (std::chrono::steady_clock::now() >= end) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
}

namespace {

// What a process writes to the pipe before the first line feed (its address, its display).
std::string FirstLine(int fd) {
  std::string line;
  char c = 0;
  while (read(fd, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

}  // namespace

SessionBus::SessionBus() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  // In a process group of its own (ChildProcess), so that the services it activates stop with it.
  m_daemon.emplace(std::vector<std::string>{"dbus-daemon", "--session", "--nofork", "--nopidfile",
                                            "--address=unix:dir=" + m_folder.path(),
                                            "--print-address=" + std::to_string(fds[1])},
                   EnvironmentWith({{"DBUS_SESSION_BUS_ADDRESS", ""}}), std::filesystem::path{},
                   std::filesystem::path{}, fds[1]);
  close(fds[1]);
  m_address = FirstLine(fds[0]);
  close(fds[0]);
  if (m_address.empty()) throw std::runtime_error("dbus-daemon did not start");
}

namespace {

// Whether a process of the group is still running (zombies have ended).
bool GroupRuns(pid_t group) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string stat = ReadWholeFile(entry.path() / "stat");
    const std::size_t close = stat.rfind(')');
    char state = 0;
    pid_t parent = 0, pgid = 0;
    if (close == std::string::npos ||
        std::sscanf(stat.c_str() + close + 1, " %c %d %d", &state, &parent, &pgid) != 3)
      continue;
    if (pgid == group && state != 'Z') return true;
  }
  return false;
}

}  // namespace

SessionBus::~SessionBus() {
  if (!m_daemon) return;
  const pid_t group = m_daemon->pid();
  m_daemon->Kill();
  // The services end once told or once their bus is gone; those that came to this process (a
  // subreaper's test) are collected here.
  const bool ended = WaitUntil(
      [&] {
        while (waitpid(-group, nullptr, WNOHANG) > 0) {
        }
        return !GroupRuns(group);
      },
      std::chrono::seconds(5));
  if (!ended) kill(-group, SIGKILL);
  while (waitpid(-group, nullptr, WNOHANG) > 0) {
  }
}

bool SessionBus::IsOwnProcess(pid_t process) const {
  return pid() > 0 && getpgid(process) == pid();
}

VirtualDisplay::VirtualDisplay() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  m_server.emplace(std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]),
                                            "-nolisten", "tcp", "-screen", "0", "1280x1024x24"},
                   EnvironmentWith({}), std::filesystem::path{}, std::filesystem::path{}, fds[1]);
  close(fds[1]);
  // The server writes its display number and a line feed once it accepts clients.
  const std::string number = FirstLine(fds[0]);
  close(fds[0]);
  if (number.empty()) throw std::runtime_error("Xvfb did not start");
  m_name = ":" + number;
  // Clients connect only once the server answers; a program that cannot connect aborts.
  const bool answers = WaitUntil(
      [&] {
        ChildProcess probe({"xdpyinfo", "-display", m_name}, EnvironmentWith({}));
        return probe.WaitFor(std::chrono::seconds(10)) == 0;
      },
      std::chrono::seconds(30));
  if (!answers) throw std::runtime_error("Xvfb does not answer on " + m_name);
}

VirtualDisplay::~VirtualDisplay() = default;

Environment VirtualDisplay::environment() const {
  return {{"DISPLAY", m_name}, {"DBUS_SESSION_BUS_ADDRESS", m_bus.address()}};
}

std::vector<std::string> VirtualDisplay::environmentEntries() const {
  std::vector<std::string> entries;
  for (const auto& [name, value] : environment()) entries.push_back(name + "=" + value);
  return entries;
}

Environment ProgramEnvironment(const VirtualDisplay& display, const std::string& runtime,
                               const Environment& more) {
  Environment changes = display.environment();
  changes.insert({{"QT_QPA_PLATFORM", "xcb"}, {"ZEMBRA_TRACE", "1"}, {"XDG_RUNTIME_DIR", runtime}});
  for (const auto& [name, value] : more) changes[name] = value;
  return EnvironmentWith(changes);
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> TraceLogLines(const std::string& trace) {
  std::vector<std::string> lines;
  bool inMessage = false;
  std::istringstream in(trace);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("log: ", 0) == 0) {
      lines.push_back(line.substr(5));
      inMessage = true;
    } else if (line.rfind("Zembra: ", 0) == 0) {
      inMessage = false;
    } else if (inMessage && !line.empty()) {
      lines.push_back(line);
    }
  }
  return lines;
}

namespace {

std::vector<std::string> DisplayEnvironment(const VirtualDisplay& display) {
  return display.environmentEntries();
}

}  // namespace

std::string WaitForWindow(const VirtualDisplay& display, const std::string& titlePattern,
                          std::chrono::milliseconds deadline, const std::function<bool()>& ended) {
  std::string id;
  WaitUntil(
      [&] {
        const ProcessResult r =
            RunProcess({"xdotool", "search", "--onlyvisible", "--name", titlePattern}, {},
                       DisplayEnvironment(display));
        if (r.exitCode == 0 && !r.out.empty()) {
          id = r.out.substr(0, r.out.find('\n'));
          return true;
        }
        return ended && ended();
      },
      deadline);
  return id;
}

bool TypeKeys(const VirtualDisplay& display, const std::string& window,
              const std::vector<std::string>& keys, std::chrono::milliseconds deadline) {
  const std::vector<std::string> env = DisplayEnvironment(display);
  const bool focused = WaitUntil(
      [&] {
        RunProcess({"xdotool", "windowfocus", "--sync", window}, {}, env);
        const ProcessResult r = RunProcess({"xdotool", "getwindowfocus"}, {}, env);
        return r.exitCode == 0 && r.out.substr(0, r.out.find('\n')) == window;
      },
      deadline);
  if (!focused) return false;
  for (const std::string& key : keys)
    RunProcess({"xdotool", "key", "--window", window, key}, {}, env);
  return true;
}

std::optional<int> CloseZembraWithEscape(
    const VirtualDisplay& display,
    const std::function<std::optional<int>(std::chrono::milliseconds)>& exited,
    std::chrono::milliseconds deadline) {
  using namespace std::chrono_literals;
  const auto until = std::chrono::steady_clock::now() + deadline;
  const std::string id = WaitForWindow(display, "^Zembra$", deadline);
  if (id.empty()) return std::nullopt;
  const std::vector<std::string> env = DisplayEnvironment(display);
  do {
    RunProcess({"xdotool", "windowfocus", "--sync", id}, {}, env);
    RunProcess({"xdotool", "key", "--window", id, "Escape"}, {}, env);
    if (std::optional<int> code = exited(3s)) return code;
  } while (std::chrono::steady_clock::now() < until);
  return std::nullopt;
}
