// Waiting on descriptors while the window goes on with its events, and the busy dialog that
// keeps the user's commands out meanwhile.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <array>
#include <atomic>
#include <chrono>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/gui/window_wait.h"
#include "tests/platform/gui/gui_test_support.h"

using gui_test::RecordingDialog;
using gui_test::Widget;
using testing::ElementsAre;

namespace {

struct Pipe {
  std::array<int, 2> fds{-1, -1};
  explicit Pipe(int flags = 0) { EXPECT_EQ(::pipe2(fds.data(), flags | O_CLOEXEC), 0); }
  ~Pipe() {
    closeRead();
    closeWrite();
  }
  void closeRead() {
    if (fds[0] >= 0) ::close(fds[0]);
    fds[0] = -1;
  }
  void closeWrite() {
    if (fds[1] >= 0) ::close(fds[1]);
    fds[1] = -1;
  }
  int read() const { return fds[0]; }
  int write() const { return fds[1]; }
};

// Counts the turns of a 5 ms timer while it lives.
struct Ticker {
  QTimer timer;
  int ticks = 0;
  Ticker() {
    QObject::connect(&timer, &QTimer::timeout, [this] { ++ticks; });
    timer.start(5);
  }
};

TEST(WindowServingWait, TimersRunUntilADescriptorIsReady) {
  gui_test::EnsureQt();
  Pipe pipe;
  Ticker ticker;
  QTimer::singleShot(100, [&pipe] { EXPECT_EQ(::write(pipe.write(), "x", 1), 1); });
  std::vector<DescriptorWait> waits{{pipe.read(), false}};
  WindowServingWait wait;
  ASSERT_EQ(wait.Wait(waits), 0);
  EXPECT_TRUE(waits[0].happened);
  EXPECT_FALSE(waits[0].invalid);
  EXPECT_GE(ticker.ticks, 5);
}

TEST(WindowServingWait, AHangUpWakesItAsThePollDoes) {
  gui_test::EnsureQt();
  Pipe pipe;
  QTimer::singleShot(30, [&pipe] { pipe.closeWrite(); });
  std::vector<DescriptorWait> waits{{pipe.read(), false}};
  WindowServingWait wait;
  ASSERT_EQ(wait.Wait(waits), 0);
  EXPECT_TRUE(waits[0].happened);
  EXPECT_FALSE(waits[0].invalid);
}

TEST(WindowServingWait, AFullPipeWhoseReaderIsGoneWakesTheWriter) {
  gui_test::EnsureQt();
  Pipe pipe(O_NONBLOCK);
  const std::vector<char> block(65536, 'x');
  while (::write(pipe.write(), block.data(), block.size()) > 0) {
  }
  QTimer::singleShot(30, [&pipe] { pipe.closeRead(); });
  std::vector<DescriptorWait> waits{{pipe.write(), true}};
  WindowServingWait wait;
  ASSERT_EQ(wait.Wait(waits), 0);
  EXPECT_TRUE(waits[0].happened);
}

TEST(WindowServingWait, AClosedDescriptorIsReportedInvalid) {
  gui_test::EnsureQt();
  Pipe pipe;
  Pipe other;  // made first, so that it does not take the closed number
  const int closed = pipe.read();
  pipe.closeRead();
  ASSERT_EQ(::write(other.write(), "x", 1), 1);
  std::vector<DescriptorWait> waits{{closed, false}, {other.write(), true}};
  WindowServingWait wait;
  ASSERT_EQ(wait.Wait(waits), 0);
  EXPECT_TRUE(waits[0].happened);
  EXPECT_TRUE(waits[0].invalid);
  EXPECT_TRUE(waits[1].happened);
  EXPECT_FALSE(waits[1].invalid);
}

// A transfer whose descriptors are always ready never waits, and still lets the timers run.
TEST(WindowServingWait, AlwaysReadyDescriptorsStillServeTheWindow) {
  gui_test::EnsureQt();
  Pipe pipe;
  ASSERT_EQ(::write(pipe.write(), "x", 1), 1);
  Ticker ticker;
  WindowServingWait wait;
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 200) {
    std::vector<DescriptorWait> waits{{pipe.read(), false}};
    ASSERT_EQ(wait.Wait(waits), 0);
    ASSERT_TRUE(waits[0].happened);
  }
  EXPECT_GE(ticker.ticks, 10);
}

// A flush to disk has no descriptor to wait on: it runs on a thread of its own meanwhile.
TEST(RunServingWindows, TimersRunWhileTheCallBlocksAndItHasEndedOnReturn) {
  gui_test::EnsureQt();
  Ticker ticker;
  std::atomic<bool> ended = false;
  std::thread::id caller;
  RunServingWindows([&] {
    caller = std::this_thread::get_id();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ended = true;
  });
  EXPECT_TRUE(ended);
  EXPECT_NE(caller, std::this_thread::get_id());
  EXPECT_GE(ticker.ticks, 5);
}

// Elsewhere than on the application's thread nothing is served, and the call runs right there.
TEST(RunServingWindows, OffTheWindowsThreadTheCallRunsOnTheCallersThread) {
  gui_test::EnsureQt();
  std::thread::id caller, ran;
  std::thread other([&] {
    caller = std::this_thread::get_id();
    RunServingWindows([&] { ran = std::this_thread::get_id(); });
  });
  other.join();
  EXPECT_EQ(ran, caller);
}

TEST(BusyDialog, ClicksKeysAndListClicksDoNothingWhileBusy) {
  RecordingDialog dialog(gui_test::RoutingTemplate());
  dialog.onInit = [](RecordingDialog& d) { gui_test::FillList(d.m_hWnd, 3); };
  dialog.script = [](RecordingDialog& d) {
    {
      const CBusyScope busy(d.m_hWnd);
      EXPECT_TRUE(IsDialogBusy(d.m_hWnd));
      QWidget* go = Widget(d.GetDlgItem(1001));
      QTest::mouseClick(go, Qt::LeftButton, {}, go->rect().center());
      QTest::keyClick(Widget(d.m_hWnd), Qt::Key_Return);
      SendMessage(d.m_hWnd, WM_COMMAND, MAKEWPARAM(1001, BN_CLICKED), 0);
      auto* list = static_cast<QTreeView*>(Widget(d.GetDlgItem(2000)));
      QTest::mouseClick(list->viewport(), Qt::RightButton, {}, QPoint(20, 8));
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(20, 8));
      QWidget* box = Widget(d.GetDlgItem(1003));
      QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
      EXPECT_EQ(IsDlgButtonChecked(d.m_hWnd, 1003), static_cast<UINT>(BST_UNCHECKED));
      d.record("work end");
    }
    EXPECT_FALSE(IsDialogBusy(d.m_hWnd));
    PostMessage(d.m_hWnd, WM_USER + 54, 3, 0);
  };
  EXPECT_EQ(dialog.DoModal(), 3);
  EXPECT_THAT(dialog.log, ElementsAre("init", "work end", "finish"));
}

// Cancel is what a user may still do while the dialog works.
TEST(BusyDialog, EscapeStillReachesTheCancelHandlerWhileBusy) {
  RecordingDialog dialog(gui_test::RoutingTemplate());
  dialog.handleCancel = true;
  dialog.script = [](RecordingDialog& d) {
    const CBusyScope busy(d.m_hWnd);
    QTest::keyClick(Widget(d.m_hWnd), Qt::Key_Escape);
    d.record("work end");
  };
  EXPECT_EQ(dialog.DoModal(), 8);
  EXPECT_THAT(dialog.log, ElementsAre("init", "command 2 code 0", "cancel handler", "work end"));
}

TEST(BusyDialog, PostedMessagesWaitForTheWorkAndKeepTheirOrder) {
  RecordingDialog dialog(gui_test::RoutingTemplate());
  dialog.script = [](RecordingDialog& d) {
    {
      const CBusyScope busy(d.m_hWnd);
      PostMessage(d.m_hWnd, WM_USER + 2, 7, 0);
      {
        const CBusyScope inner(d.m_hWnd);
        PostMessage(d.m_hWnd, WM_COMMAND, MAKEWPARAM(1001, 0), 0);
      }
      PostMessage(d.m_hWnd, WM_USER + 53, 0, 0);
      for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
      d.record("work end");
    }
    PostMessage(d.m_hWnd, WM_USER + 54, 4, 0);
  };
  EXPECT_EQ(dialog.DoModal(), 4);
  EXPECT_THAT(dialog.log, ElementsAre("init", "work end", "two 7", "command 1001 code 0",
                                      "three posted", "finish"));
}

TEST(BusyDialog, ABusyScopeOnADialogThatIsGoneDoesNothing) {
  CBusyScope busy(nullptr);
  EXPECT_FALSE(IsDialogBusy(nullptr));
}

}  // namespace
