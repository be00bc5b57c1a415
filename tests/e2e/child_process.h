// Programs that an end-to-end test starts and always stops again: a virtual X server and the
// program under test, with its standard error kept in a file.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

using Environment = std::map<std::string, std::string>;

// The test's own environment with the given changes (an empty value removes the variable).
Environment EnvironmentWith(const Environment& changes);

// A started process; the destructor kills and reaps it if it still runs.
class ChildProcess {
 public:
  // Starts argv[0] (searched in PATH) with the environment; standard output and error go to the
  // given files (empty: /dev/null). Throws std::runtime_error when it cannot be started.
  ChildProcess(const std::vector<std::string>& argv, const Environment& env,
               const std::filesystem::path& out = {}, const std::filesystem::path& err = {},
               int keepFd = -1);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return m_pid; }
  // The exit code once the process has ended by itself within the deadline; -1 after a signal.
  std::optional<int> WaitFor(std::chrono::milliseconds deadline);
  void Kill();

 private:
  pid_t m_pid = -1;
  bool m_reaped = false;
  int m_status = 0;
};

// A session bus of the test's own, as a desktop session has one. Without it, a program that wants
// one (Qt, GLib, the file managers) starts one through dbus-launch where dbus-x11 is installed,
// and that bus outlives the test. The services it activates (gvfsd for GLib's programs) stay in
// the daemon's process group; the daemon and they stop with the object, and its socket lies in a
// temporary folder of its own.
class SessionBus {
 public:
  SessionBus();
  ~SessionBus();
  SessionBus(const SessionBus&) = delete;
  SessionBus& operator=(const SessionBus&) = delete;
  const std::string& address() const { return m_address; }
  pid_t pid() const { return m_daemon ? m_daemon->pid() : -1; }
  // The daemon itself or a service it started.
  bool IsOwnProcess(pid_t process) const;

 private:
  TempFolder m_folder;
  std::optional<ChildProcess> m_daemon;
  std::string m_address;
};

// A virtual X server on a display number of its own choosing (-displayfd), with the session bus
// that goes with a desktop.
class VirtualDisplay {
 public:
  VirtualDisplay();
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  const std::string& name() const { return m_name; }  // ":N"
  const SessionBus& bus() const { return m_bus; }
  // What a program on this desktop finds in its environment: DISPLAY and the session bus.
  Environment environment() const;
  // The same as NAME=value entries, for RunProcess.
  std::vector<std::string> environmentEntries() const;

 private:
  std::optional<ChildProcess> m_server;
  std::string m_name;
  SessionBus m_bus;
};

// The environment of a Zembra program started on this desktop: the display and its session bus,
// Qt on X11, the trace on, Qt's runtime folder of its own; then the further changes.
Environment ProgramEnvironment(const VirtualDisplay& display, const std::string& runtime,
                               const Environment& more = {});

// Polls the condition until it holds or the deadline passes.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline);

// The first mapped window of the display whose title matches the pattern (a regular expression,
// as xdotool takes it), waited for until the deadline or until ended() says the program that
// would show it is gone; "" when none shows.
std::string WaitForWindow(const VirtualDisplay& display, const std::string& titlePattern,
                          std::chrono::milliseconds deadline,
                          const std::function<bool()>& ended = {});

// Types the keys (xdotool's names) into the window once the server says it has the input focus,
// so that none goes elsewhere; false when it never got the focus.
bool TypeKeys(const VirtualDisplay& display, const std::string& window,
              const std::vector<std::string>& keys, std::chrono::milliseconds deadline);

// Escape to the window titled "Zembra", sent again every few seconds until exited() (waiting up to
// the time it is given) returns the program's exit code: a loaded machine can lose a key sent
// while the window is still being mapped or focused. nullopt when there was no such window or the
// program did not end before the deadline.
std::optional<int> CloseZembraWithEscape(
    const VirtualDisplay& display,
    const std::function<std::optional<int>(std::chrono::milliseconds)>& exited,
    std::chrono::milliseconds deadline);

std::string ReadWholeFile(const std::filesystem::path& path);

// The log's lines in a program's trace: "log: " starts a message, and the further lines of a
// message of several lines follow it without a prefix (trace lines begin with "Zembra: ").
std::vector<std::string> TraceLogLines(const std::string& trace);
