#include "tests/e2e/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

VirtualDisplay::VirtualDisplay() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  m_server.emplace(std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]),
                                            "-nolisten", "tcp", "-screen", "0", "1280x1024x24"},
                   EnvironmentWith({}), std::filesystem::path{}, std::filesystem::path{}, fds[1]);
  close(fds[1]);
  // The server writes its display number and a line feed once it accepts clients.
  std::string number;
  char c = 0;
  while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
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
  return {"DISPLAY=" + display.name()};
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
  for (const std::string& key : keys) RunProcess({"xdotool", "key", "--window", window, key}, {}, env);
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
