// Templates in dialog units become pixels through the dialog font's metrics, as on Windows.
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QWidget>
#include <cmath>

#include <gtest/gtest.h>

#include "tests/platform/gui/gui_test_support.h"

using gui_test::RecordingDialog;
using gui_test::Widget;

namespace {

// The operations window's template: the proportions the product was laid out in.
const DialogTemplate& OperationsLikeTemplate() {
  static const DialogTemplate dialog = {
      1006,
      "Zembra",
      393,
      237,
      "Microsoft Sans Serif",
      9,
      WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_3DLOOK,
      {
          {-1, ControlKind::Static, "Available keys", 7, 7, 47, 8, WS_GROUP, 0},
          {1130, ControlKind::ListView, "", 7, 15, 321, 128,
           LVS_REPORT | LVS_SHOWSELALWAYS | LVS_NOLABELWRAP | WS_BORDER | WS_TABSTOP, 0},
          {-1, ControlKind::Static, "Progress", 7, 148, 30, 8, WS_GROUP, 0},
          {1133, ControlKind::ProgressBar, "", 7, 156, 321, 14, WS_BORDER, 0},
          {1123, ControlKind::Edit, "", 7, 173, 321, 52,
           ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 0},
          {1119, ControlKind::CheckBox, "&Use Default Keys", 261, 145, 67, 10, WS_TABSTOP, 0},
          {1109, ControlKind::PushButton, "&Import Keys...", 336, 15, 50, 14, WS_TABSTOP, 0},
          {1106, ControlKind::PushButton, "En&crypt", 336, 83, 50, 14,
           BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
          {8, ControlKind::PushButton, "Close", 336, 211, 50, 14, WS_TABSTOP, 0},
          {1138, ControlKind::Link, "Zembra: check for updates", 7, 225, 87, 11, 0, 0},
          {1131, ControlKind::MonthCalendar, "", 100, 100, 140, 90, 0, 0},
          {1136, ControlKind::RadioButton, "Public keys", 250, 100, 60, 10, WS_GROUP, 0},
          {1120, ControlKind::GroupBox, "Export", 245, 90, 80, 40, 0, 0},
      }};
  return dialog;
}

TEST(DialogGeometry, EveryControlLandsAtItsDialogUnitRectangle) {
  const DialogTemplate& layout = OperationsLikeTemplate();
  RecordingDialog dialog(layout);
  std::vector<std::string> misplaced;
  QSize clientSize;
  double baseX = 0;
  double baseY = 0;
  dialog.onInit = [&](RecordingDialog& d) {
    QWidget* window = Widget(d.m_hWnd);
    // Base units from the font the dialog really uses.
    const QFontMetrics metrics(window->font());
    baseX = std::round(metrics.horizontalAdvance(
                           QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                       52.0);
    baseY = metrics.height();
    clientSize = window->size();
    for (const ControlTemplate& control : layout.controls) {
      if (control.id == IDC_STATIC) continue;
      const QRect at = Widget(d.GetDlgItem(control.id))->geometry();
      const double left = control.x * baseX / 4;
      const double top = control.y * baseY / 8;
      const double width = control.cx * baseX / 4;
      const double height = control.cy * baseY / 8;
      if (std::abs(at.x() - left) > 1 || std::abs(at.y() - top) > 1 ||
          std::abs(at.width() - width) > 1 || std::abs(at.height() - height) > 1) {
        misplaced.push_back(std::to_string(control.id));
      }
    }
    d.EndDialog(IDOK);
  };
  dialog.DoModal();
  EXPECT_GT(baseX, 3);
  EXPECT_GT(baseY, 8);
  EXPECT_TRUE(misplaced.empty()) << "misplaced: " << ::testing::PrintToString(misplaced);
  EXPECT_NEAR(clientSize.width(), 393 * baseX / 4, 1);
  EXPECT_NEAR(clientSize.height(), 237 * baseY / 8, 1);
}

TEST(DialogGeometry, MapDialogRectAgreesWithTheBuiltDialog) {
  const DialogTemplate& layout = OperationsLikeTemplate();
  RecordingDialog dialog(layout);
  QRect list;
  dialog.onInit = [&](RecordingDialog& d) {
    list = Widget(d.GetDlgItem(1130))->geometry();
    d.EndDialog(IDOK);
  };
  dialog.DoModal();
  const RECT mapped = MapDialogRect(layout, RECT{7, 15, 7 + 321, 15 + 128});
  EXPECT_EQ(mapped.left, list.x());
  EXPECT_EQ(mapped.top, list.y());
  EXPECT_NEAR(mapped.right - mapped.left, list.width(), 1);
  EXPECT_NEAR(mapped.bottom - mapped.top, list.height(), 1);
}

// Liberation Sans, with the metrics of the Windows dialog fonts, is installed with the product.
TEST(DialogGeometry, TheWindowsDialogFontBecomesLiberationSansAtNinetySixDpi) {
  RecordingDialog dialog(OperationsLikeTemplate());
  int pixels = 0;
  QString family;
  bool fixedSize = false;
  dialog.onInit = [&](RecordingDialog& d) {
    QWidget* window = Widget(d.m_hWnd);
    pixels = window->font().pixelSize();
    family = QFontInfo(window->font()).family();
    fixedSize = window->minimumSize() == window->maximumSize();
    d.EndDialog(IDOK);
  };
  dialog.DoModal();
  EXPECT_EQ(pixels, 12);  // 9 points at 96 dpi
  EXPECT_EQ(family, "Liberation Sans");
  EXPECT_TRUE(fixedSize);
}

TEST(DialogGeometry, GrowingTheDialogAndMovingButtonsKeepsClientCoordinates) {
  // How the key creation dialog makes room for its calendar.
  RecordingDialog dialog(OperationsLikeTemplate());
  QSize before;
  QSize after;
  QPoint closeAt;
  QPoint closeMoved;
  dialog.onInit = [&](RecordingDialog& d) {
    QWidget* window = Widget(d.m_hWnd);
    before = window->size();
    RECT frame;
    GetWindowRect(d.m_hWnd, &frame);
    SetWindowPos(d.m_hWnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top - 40,
                 SWP_NOMOVE | SWP_NOZORDER);
    after = window->size();
    HWND close = d.GetDlgItem(8);
    RECT rect;
    GetWindowRect(close, &rect);
    POINT topLeft{rect.left, rect.top};
    ScreenToClient(d.m_hWnd, &topLeft);
    closeAt = QPoint(topLeft.x, topLeft.y);
    MoveWindow(close, topLeft.x, topLeft.y - 40, rect.right - rect.left, rect.bottom - rect.top,
               TRUE);
    closeMoved = Widget(close)->pos();
    d.EndDialog(IDOK);
  };
  dialog.DoModal();
  EXPECT_EQ(after.width(), before.width());
  EXPECT_EQ(after.height(), before.height() - 40);
  EXPECT_EQ(closeMoved, closeAt - QPoint(0, 40));
}

TEST(DialogGeometry, OneLineTextsAreNotCutOffByAWiderDesktopFont) {
  // "Available keys", "&Use Default Keys" and the update link were laid out for a narrower
  // font than most desktops use.
  RecordingDialog dialog(OperationsLikeTemplate());
  std::vector<std::string> cut;
  dialog.onInit = [&](RecordingDialog& d) {
    for (QLabel* label : Widget(d.m_hWnd)->findChildren<QLabel*>()) {
      if (label->wordWrap() || label->sizeHint().width() > label->width()) {
        cut.push_back(label->text().toStdString());
      }
    }
    QWidget* box = Widget(d.GetDlgItem(1119));
    if (box->sizeHint().width() > box->width()) cut.push_back("check box 1119");
    d.EndDialog(IDOK);
  };
  dialog.DoModal();
  EXPECT_TRUE(cut.empty()) << ::testing::PrintToString(cut);
}

}  // namespace
