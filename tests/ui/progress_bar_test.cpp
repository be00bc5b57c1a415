// The input stream moves a real progress bar through the window's progress sink, and tells it only
// when the position changes.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

#include "platform/core/unique_fd.h"
#include "platform/gui/dialog.h"
#include "tests/support/temp_folder.h"
#include "zembra/engine/file_stream.h"
#include "zembra/ui/dlg_progress.h"

namespace {

constexpr int kProgressId = 1110;

const DialogTemplate& ProgressTemplate() {
  static const DialogTemplate dialog = {
      100,
      "Progress",
      200,
      40,
      "Microsoft Sans Serif",
      9,
      WS_POPUP | WS_CAPTION,
      {{kProgressId, ControlKind::ProgressBar, "", 7, 7, 186, 8, 0, 0}}};
  return dialog;
}

// A dialog with a progress bar that records the PBM_SETPOS messages sent to the dialog itself,
// and runs the test's body while it is up.
class ProgressDialog : public CDialogBase {
 public:
  explicit ProgressDialog(std::function<void(ProgressDialog&)> body)
      : CDialogBase(ProgressTemplate()), m_body(std::move(body)) {}

  std::vector<int> positions;  // every position sent to the dialog, in order
  HWND bar() const { return GetDlgItem(kProgressId); }

  BEGIN_MSG_MAP(ProgressDialog)
  MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
  MESSAGE_HANDLER(PBM_SETPOS, OnSetPos)
  END_MSG_MAP()

 private:
  LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
    SendMessage(bar(), PBM_SETRANGE, 0, MAKELPARAM(0, 1000));
    m_body(*this);
    EndDialog(IDOK);
    return TRUE;
  }
  LRESULT OnSetPos(UINT, WPARAM wParam, LPARAM, BOOL&) {
    positions.push_back(static_cast<int>(wParam));
    return 0;
  }

  std::function<void(ProgressDialog&)> m_body;
};

std::string MakeInput(const TempFolder& temp, std::size_t size) {
  std::string bytes(size, '\0');
  std::mt19937 generator(99);
  for (char& c : bytes) c = static_cast<char>(generator());
  WriteFile(temp.path("input"), bytes);
  return temp.path("input");
}

}  // namespace

TEST(ProgressBar, PositionIsSentOnlyWhenItChanges) {
  TempFolder temp;
  UniqueFd fd(open(MakeInput(temp, 3'000'000).c_str(), O_RDONLY | O_CLOEXEC));
  ProgressDialog dialog([&](ProgressDialog& self) {
    FileStream stream = MakeFileStream(fd.get(), ProgressBarSink(self.m_hWnd));
    // Chunks of 500 bytes: 6,001 reads, but only 1,001 positions.
    std::vector<char> buffer(500);
    while (ReadFileCb(&stream, buffer.data(), buffer.size()) > 0) {
    }
  });
  dialog.DoModal();
  ASSERT_EQ(dialog.positions.size(), 1001u);
  for (int i = 0; i <= 1000; ++i) ASSERT_EQ(dialog.positions[static_cast<std::size_t>(i)], i);
}

TEST(ProgressBar, NextOperationSendsItsFirstPositionAgain) {
  TempFolder temp;
  std::string input = MakeInput(temp, 1000);
  ProgressDialog dialog([&](ProgressDialog& self) {
    for (int run = 0; run < 2; ++run) {
      UniqueFd fd(open(input.c_str(), O_RDONLY | O_CLOEXEC));
      FileStream stream = MakeFileStream(fd.get(), ProgressBarSink(self.m_hWnd));
      char buffer[4096];
      while (ReadFileCb(&stream, buffer, sizeof buffer) > 0) {
      }
    }
  });
  dialog.DoModal();
  EXPECT_EQ(dialog.positions, (std::vector<int>{1000, 1000}));
}

TEST(ProgressBar, RealBarFollowsTheInput) {
  TempFolder temp;
  UniqueFd fd(open(MakeInput(temp, 3'000'000).c_str(), O_RDONLY | O_CLOEXEC));
  std::vector<LRESULT> seen;
  ProgressDialog dialog([&](ProgressDialog& self) {
    FileStream stream = MakeFileStream(fd.get(), ProgressBarSink(self.bar()));
    std::vector<char> buffer(8192);
    ReadFileCb(&stream, buffer.data(), buffer.size());
    seen.push_back(SendMessage(self.bar(), PBM_GETPOS, 0, 0));
    while (ReadFileCb(&stream, buffer.data(), buffer.size()) > 0) {
    }
    seen.push_back(SendMessage(self.bar(), PBM_GETPOS, 0, 0));
  });
  dialog.DoModal();
  EXPECT_EQ(seen, (std::vector<LRESULT>{2, 1000}));
}
