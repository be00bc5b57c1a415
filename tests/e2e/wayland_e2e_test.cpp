// The operations window under Qt's Wayland platform, inside GNOME's own compositor run headless
// (mutter --wayland --headless) with a session bus and a runtime folder of its own, as GNOME on
// Debian 12 starts a Wayland session. The window's trace says when the compositor has shown it
// and how many keys its list holds. Skipped where mutter or Qt's Wayland plugin is missing.
#include <signal.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/e2e/child_process.h"
#include "tests/support/key_ring.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr auto kDeadline = 60s;
constexpr const char* kSocket = "zembra-wayland-0";

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string_view rest = path != nullptr ? path : "";
  while (!rest.empty()) {
    const std::size_t end = rest.find(':');
    const fs::path candidate = fs::path(rest.substr(0, end)) / program;
    if (access(candidate.c_str(), X_OK) == 0) return true;
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return false;
}

bool HasWaylandPlugin() {
  std::error_code error;
  for (const auto& entry :
       fs::directory_iterator(fs::path(ZEMBRA_QT_PLUGIN_DIR) / "platforms", error)) {
    if (entry.path().filename().string().starts_with("libqwayland")) return true;
  }
  return false;
}

// Whether a process of the group still runs (zombies have ended).
bool GroupAlive(pid_t group) { return group > 0 && kill(-group, 0) == 0; }

class WaylandWindow : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice", "bob"}}; }

  void SetUp() override {
    if (!OnPath("mutter")) GTEST_SKIP() << "mutter is not installed";
    if (!HasWaylandPlugin()) GTEST_SKIP() << "Qt's Wayland platform (qt6-wayland) is missing";
    KeyRingTest::SetUp();
    m_runtime = ring().path("runtime");
    fs::create_directories(m_runtime);
    fs::permissions(m_runtime, fs::perms::owner_all);
    m_bus.emplace();
    m_compositorLog = ring().path("mutter.txt");
    m_compositor.emplace(std::vector<std::string>{"mutter", "--wayland", "--headless", "--no-x11",
                                                  "--virtual-monitor", "1280x900",
                                                  std::string("--wayland-display=") + kSocket},
                         Session({}), fs::path{}, m_compositorLog);
    m_compositorGroup = m_compositor->pid();
    ASSERT_TRUE(WaitUntil(
        [&] { return fs::exists(fs::path(m_runtime) / kSocket) || m_compositor->WaitFor(0ms); },
        kDeadline));
    ASSERT_TRUE(fs::exists(fs::path(m_runtime) / kSocket)) << "mutter did not start:\n"
                                                           << ReadWholeFile(m_compositorLog);
  }

  void TearDown() override {
    m_program.reset();
    m_compositor.reset();
    m_bus.reset();
    // Nothing of the session outlives the test: the compositor's group, and the bus with what it
    // started.
    EXPECT_FALSE(GroupAlive(m_compositorGroup)) << "mutter or a child of it still runs";
    KeyRingTest::TearDown();
  }

  // The session's environment: its bus, its runtime folder and the compositor's socket, and no
  // X display to fall back on.
  Environment Session(const Environment& more) const {
    Environment changes{{"DBUS_SESSION_BUS_ADDRESS", m_bus->address()},
                        {"XDG_RUNTIME_DIR", m_runtime},
                        {"WAYLAND_DISPLAY", kSocket},
                        {"XDG_SESSION_TYPE", "wayland"},
                        {"DISPLAY", ""}};
    for (const auto& [name, value] : more) changes[name] = value;
    return EnvironmentWith(changes);
  }

  std::string m_runtime, m_compositorLog;
  std::optional<SessionBus> m_bus;
  std::optional<ChildProcess> m_compositor;
  pid_t m_compositorGroup = -1;
  std::optional<ChildProcess> m_program;
};

}  // namespace

TEST_F(WaylandWindow, OperationsWindowOpensWithItsKeyList) {
  const std::string trace = ring().path("trace.txt");
  m_program.emplace(std::vector<std::string>{std::string(ZEMBRA_TEST_BIN_DIR) + "/Zembra"},
                    Session({{"QT_QPA_PLATFORM", "wayland"}, {"ZEMBRA_TRACE", "1"}}), fs::path{},
                    trace);
  const auto has = [&](const std::string& line) {
    return ReadWholeFile(trace).find(line + "\n") != std::string::npos;
  };
  const bool shown = WaitUntil(
      [&] {
        return (has("Zembra: key list: 2 keys") &&
                has("Zembra: window \"Zembra\" shown on wayland")) ||
               m_program->WaitFor(0ms);
      },
      kDeadline);
  EXPECT_TRUE(shown && !m_program->WaitFor(0ms)) << "the program ended:\n" << ReadWholeFile(trace);
  EXPECT_TRUE(has("Zembra: key list: 2 keys")) << ReadWholeFile(trace);
  EXPECT_TRUE(has("Zembra: window \"Zembra\" shown on wayland"))
      << ReadWholeFile(trace) << "\nmutter:\n"
      << ReadWholeFile(m_compositorLog);
}

// A client without the focus may not set the clipboard under Wayland, so the action waits for
// its window to be active. It used to run before the compositor had even shown the window, and
// its result would have been refused. (This compositor has no keyboard, and the clipboard here
// is empty: the action's line is that there is no text.)
TEST_F(WaylandWindow, ClipboardActionWaitsForTheWindowToBeActive) {
  const std::string trace = ring().path("trace.txt");
  m_program.emplace(std::vector<std::string>{std::string(ZEMBRA_TEST_BIN_DIR) + "/Zembra",
                                             "--clipboard", "decrypt"},
                    Session({{"QT_QPA_PLATFORM", "wayland"}, {"ZEMBRA_TRACE", "1"}}), fs::path{},
                    trace);
  const std::string said = "log: No suitable data (TEXT) found in the clipboard.\n";
  ASSERT_TRUE(WaitUntil(
      [&] {
        return ReadWholeFile(trace).find(said) != std::string::npos || m_program->WaitFor(0ms);
      },
      kDeadline))
      << ReadWholeFile(trace);
  const std::string text = ReadWholeFile(trace);
  const std::size_t active = text.find("Zembra: window \"Zembra\" active\n");
  ASSERT_NE(active, std::string::npos) << text;
  EXPECT_LT(text.find("Zembra: window \"Zembra\" shown on wayland\n"), text.find(said)) << text;
  EXPECT_LT(active, text.find(said)) << text;
  EXPECT_FALSE(m_program->WaitFor(0ms).has_value()) << text;
}
