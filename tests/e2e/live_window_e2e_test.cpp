// The window during a long job, as a person meets it: the real launcher under a virtual X server
// decrypts a file of 1 GiB; another window covers it and goes away, and the window is painted
// again while the job runs; a click on Cancel stops the job, leaves nothing behind and the
// launcher ends with 0.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "tests/e2e/child_process.h"
#include "tests/e2e/x_session.h"
#include "tests/support/key_ring.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr auto kDeadline = 60s;
constexpr std::uintmax_t kSize = std::uintmax_t{1} << 30;

// The operations window's size and the places of its controls, in dialog units.
constexpr int kWindowWidthDu = 393;
constexpr int kWindowHeightDu = 237;
struct DuRect {
  int x, y, cx, cy;
};
// The column of key and file buttons, which a running job leaves as they are.
constexpr DuRect kButtonColumn{336, 15, 50, 97};
constexpr DuRect kCloseButton{336, 211, 50, 14};

class LiveWindowEndToEnd : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice"}}; }

  void SetUp() override {
    KeyRingTest::SetUp();
    m_files = ring().path("files");
  }
  void TearDown() override {
    m_launcher.reset();
    KeyRingTest::TearDown();
  }

  // A file of 1 GiB encrypted to alice without compression; the plain file is removed.
  std::string LargeEncryptedFile() {
    const fs::path plain = m_files / "big.bin";
    fs::create_directories(m_files);
    WriteFile(plain.string(), "");
    fs::resize_file(plain, kSize);
    const ProcessResult r =
        ring().gpg({"--trust-model", "always", "-z", "0", "-r", ring().fingerprint("alice"), "-o",
                    plain.string() + ".gpg", "-e", plain.string()});
    EXPECT_EQ(r.exitCode, 0) << r;
    fs::remove(plain);
    return plain.string() + ".gpg";
  }

  void Launch(const std::vector<std::string>& args) {
    std::vector<std::string> argv{std::string(ZEMBRA_TEST_BIN_DIR) + "/ZembraShellExtApp"};
    argv.insert(argv.end(), args.begin(), args.end());
    m_trace = ring().path("trace.txt");
    const std::string runtime = ring().path("runtime");
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    m_launcher.emplace(argv, ProgramEnvironment(m_display, runtime), fs::path{}, m_trace);
    m_window = m_x.WaitForNewWindow(m_launcher->pid(), {}, kDeadline);
    ASSERT_FALSE(m_window.empty()) << ReadWholeFile(m_trace);
    m_geometry = m_x.Geometry(m_window);
    ASSERT_GT(m_geometry.width, 0);
  }

  std::vector<std::string> Log() const { return TraceLogLines(ReadWholeFile(m_trace)); }
  bool Logged(const std::string& line) const {
    const std::vector<std::string> lines = Log();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  int PxX(double du) const {
    return static_cast<int>(std::lround(du * m_geometry.width / kWindowWidthDu));
  }
  int PxY(double du) const {
    return static_cast<int>(std::lround(du * m_geometry.height / kWindowHeightDu));
  }
  // The rectangle on the screen, in root coordinates.
  WindowGeometry OnScreen(const DuRect& r) const {
    return {m_geometry.x + PxX(r.x), m_geometry.y + PxY(r.y), PxX(r.cx), PxY(r.cy)};
  }

  fs::path m_files;
  fs::path m_trace;
  VirtualDisplay m_display;
  XSession m_x{m_display.name()};
  std::optional<ChildProcess> m_launcher;
  std::string m_window;
  WindowGeometry m_geometry;
};

}  // namespace

TEST_F(LiveWindowEndToEnd, ACoveredWindowIsPaintedAgainDuringALargeJobAndCancelStopsIt) {
  const std::string encrypted = LargeEncryptedFile();
  Launch({"3", encrypted});
  const std::string started = "Decrypting \"" + encrypted + "\"...";
  ASSERT_TRUE(WaitUntil([&] { return Logged(started); }, kDeadline)) << ReadWholeFile(m_trace);
  std::this_thread::sleep_for(300ms);  // the first paint of the job's window settles

  const WindowGeometry buttons = OnScreen(kButtonColumn);
  const std::string painted = m_x.ScreenPixels(buttons);
  ASSERT_FALSE(painted.empty());
  m_x.Cover(m_geometry);
  ASSERT_NE(m_x.ScreenPixels(buttons), painted) << "the other window does not cover it";
  m_x.Uncover();
  EXPECT_TRUE(WaitUntil([&] { return m_x.ScreenPixels(buttons) == painted; }, 5s))
      << "the window was not painted again while the job ran";
  ASSERT_FALSE(Logged("Done.")) << "the job ended before the window was uncovered";

  m_x.Click(m_window, PxX(kCloseButton.x + kCloseButton.cx / 2.0),
            PxY(kCloseButton.y + kCloseButton.cy / 2.0));
  ASSERT_TRUE(WaitUntil([&] { return Logged("Cancelled."); }, kDeadline)) << ReadWholeFile(m_trace);
  const std::vector<std::string> log = Log();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(std::vector<std::string>(log.end() - 2, log.end()),
            (std::vector<std::string>{started, "Cancelled."}));
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(m_files))
    left.push_back(entry.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"big.bin.gpg"});

  EXPECT_EQ(
      CloseZembraWithEscape(
          m_display, [&](std::chrono::milliseconds wait) { return m_launcher->WaitFor(wait); },
          kDeadline),
      0);
}
