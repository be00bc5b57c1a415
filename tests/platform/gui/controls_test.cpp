// Messages to controls: texts, the log box's appending, the progress bar, combo boxes,
// calendar, icons, and the program's start without a display.
#include <unistd.h>
#include <QComboBox>
#include <QIcon>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QTest>
#include <QTextDocument>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/gui/render.h"
#include "platform/gui/shell.h"
#include "tests/platform/gui/gui_test_support.h"

using gui_test::RecordingDialog;
using gui_test::Widget;

namespace {

const DialogTemplate& ControlsTemplate() {
  static const DialogTemplate dialog = {
      900,
      "Controls",
      300,
      220,
      "Microsoft Sans Serif",
      9,
      WS_CAPTION | WS_SYSMENU,
      {
          {-1, ControlKind::Static, "&Name:", 7, 7, 40, 8, 0, 0},
          {1125, ControlKind::Edit, "", 50, 7, 100, 12, ES_AUTOHSCROLL | WS_TABSTOP, 0},
          {1126, ControlKind::Edit, "", 50, 22, 100, 12, ES_PASSWORD | WS_TABSTOP, 0},
          {1123, ControlKind::Edit, "", 7, 40, 286, 40,
           ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL, 0},
          {1133, ControlKind::ProgressBar, "", 7, 84, 286, 10, 0, 0},
          {1120, ControlKind::ComboBox, "", 7, 98, 60, 60, CBS_DROPDOWN | WS_TABSTOP, 0},
          {1131, ControlKind::MonthCalendar, "", 100, 98, 140, 100, MCS_NOTODAY | MCS_NOTODAYCIRCLE,
           0},
          {1116, ControlKind::CheckBox, "Expires", 7, 120, 60, 10, WS_TABSTOP, 0},
          {IDOK, ControlKind::PushButton, "OK", 190, 200, 50, 14, BS_DEFPUSHBUTTON, 0},
      }};
  return dialog;
}

void WithDialog(const std::function<void(RecordingDialog&)>& body) {
  RecordingDialog dialog(ControlsTemplate());
  dialog.script = [&](RecordingDialog& d) {
    body(d);
    d.EndDialog(IDOK);
  };
  dialog.DoModal();
}

// How the operation log writes a line: select the end, replace the selection.
void AppendToLog(HWND log, const char* text) {
  const int end = GetWindowTextLength(log);
  SendMessage(log, EM_SETSEL, static_cast<WPARAM>(end), end);
  SendMessage(log, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text));
}

TEST(Controls, TheLogBoxAppendsAtTheEndCountingBytes) {
  WithDialog([](RecordingDialog& d) {
    HWND log = d.GetDlgItem(1123);
    AppendToLog(log, "Encrypting \"/tmp/Grüße.txt\" ...\n");
    EXPECT_EQ(GetWindowTextLength(log), 34);  // bytes of UTF-8
    AppendToLog(log, "Done.\n");
    EXPECT_EQ(GetWindowTextString(log), "Encrypting \"/tmp/Grüße.txt\" ...\nDone.\n");
    EXPECT_EQ(GetWindowTextLength(log), 40);
    // Windows line ends become the same single line break.
    AppendToLog(log, "Error: Bad passphrase\r\n");
    EXPECT_EQ(GetWindowTextString(log),
              "Encrypting \"/tmp/Grüße.txt\" ...\nDone.\nError: Bad passphrase\n");
    EXPECT_EQ(GetWindowTextLength(log), 62);
    EXPECT_EQ(static_cast<QPlainTextEdit*>(Widget(log))->document()->blockCount(), 4);
  });
}

TEST(Controls, TheLogLengthFollowsTextSetDirectly) {
  WithDialog([](RecordingDialog& d) {
    HWND log = d.GetDlgItem(1123);
    AppendToLog(log, "one\n");
    SetWindowText(log, "two lines\nhere");
    EXPECT_EQ(GetWindowTextLength(log), 14);
    AppendToLog(log, "!");
    EXPECT_EQ(GetWindowTextString(log), "two lines\nhere!");
    SetWindowText(log, "");
    EXPECT_EQ(GetWindowTextLength(log), 0);
  });
}

TEST(Controls, TheLogBoxScrollsToItsNewestLine) {
  WithDialog([](RecordingDialog& d) {
    HWND log = d.GetDlgItem(1123);
    for (int i = 0; i < 200; ++i) {
      AppendToLog(log, ("line " + std::to_string(i) + "\n").c_str());
    }
    QScrollBar* bar = static_cast<QPlainTextEdit*>(Widget(log))->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
  });
}

TEST(Controls, ReplacingASelectionInsideTheText) {
  WithDialog([](RecordingDialog& d) {
    HWND log = d.GetDlgItem(1123);
    SetWindowText(log, "ä one\ntwo");
    SendMessage(log, EM_SETSEL, 3, 6);  // "one": after the two bytes of ä and a space
    SendMessage(log, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>("1"));
    EXPECT_EQ(GetWindowTextString(log), "ä 1\ntwo");
    EXPECT_EQ(GetWindowTextLength(log), 8);
  });
}

TEST(Controls, TextsOfEditsButtonsAndTheDialog) {
  WithDialog([](RecordingDialog& d) {
    SetDlgItemText(d.m_hWnd, 1125, "Alice Example");
    EXPECT_EQ(GetDlgItemTextString(d.m_hWnd, 1125), "Alice Example");
    SetDlgItemText(d.m_hWnd, 1126, "pass wörd");
    EXPECT_EQ(GetDlgItemTextString(d.m_hWnd, 1126), "pass wörd");
    EXPECT_EQ(GetWindowTextLength(d.GetDlgItem(1126)), 10);
    char buffer[6];
    EXPECT_EQ(SendMessage(d.GetDlgItem(1125), WM_GETTEXT, sizeof buffer,
                          reinterpret_cast<LPARAM>(buffer)),
              5);
    EXPECT_STREQ(buffer, "Alice");
    EXPECT_EQ(GetDlgItemTextString(d.m_hWnd, 1116), "Expires");
    EXPECT_EQ(GetWindowTextString(d.m_hWnd), "Controls");
    SetWindowText(d.m_hWnd, "Renamed");
    EXPECT_EQ(Widget(d.m_hWnd)->windowTitle().toStdString(), "Renamed");
    EXPECT_EQ(GetDlgItemTextString(d.m_hWnd, 4242), "");
  });
}

TEST(Controls, ProgressBarRangeAndPosition) {
  WithDialog([](RecordingDialog& d) {
    HWND bar = d.GetDlgItem(1133);
    SendMessage(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 1000));
    EXPECT_EQ(SendMessage(bar, PBM_SETPOS, 250, 0), 0);
    EXPECT_EQ(SendMessage(bar, PBM_GETPOS, 0, 0), 250);
    EXPECT_EQ(SendMessage(bar, PBM_SETPOS, 1000, 0), 250);
    EXPECT_EQ(static_cast<QProgressBar*>(Widget(bar))->maximum(), 1000);
  });
}

TEST(Controls, ComboBoxItemsAndSelection) {
  WithDialog([](RecordingDialog& d) {
    HWND combo = d.GetDlgItem(1120);
    for (const char* item : {"1024", "1536", "2048", "3072"}) {
      SendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }
    EXPECT_EQ(SendMessage(combo, CB_GETCOUNT, 0, 0), 4);
    SendMessage(combo, CB_SETCURSEL, 2, 0);
    EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(GetWindowTextString(combo), "2048");
    char text[16];
    EXPECT_EQ(SendMessage(combo, CB_GETLBTEXT, 3, reinterpret_cast<LPARAM>(text)), 4);
    EXPECT_STREQ(text, "3072");
    SendMessage(combo, CB_RESETCONTENT, 0, 0);
    EXPECT_EQ(SendMessage(combo, CB_GETCOUNT, 0, 0), 0);
  });
}

TEST(Controls, CalendarSelectionAndHiding) {
  WithDialog([](RecordingDialog& d) {
    HWND calendar = d.GetDlgItem(1131);
    SYSTEMTIME day;
    day.wYear = 2017;
    day.wMonth = 12;
    day.wDay = 31;
    EXPECT_TRUE(SendMessage(calendar, MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&day)));
    SYSTEMTIME back;
    EXPECT_TRUE(SendMessage(calendar, MCM_GETCURSEL, 0, reinterpret_cast<LPARAM>(&back)));
    EXPECT_EQ(back.wYear, 2017);
    EXPECT_EQ(back.wMonth, 12);
    EXPECT_EQ(back.wDay, 31);
    EXPECT_EQ(back.wDayOfWeek, 0);  // a Sunday
    EXPECT_TRUE(ShowWindow(calendar, SW_HIDE));
    EXPECT_FALSE(Widget(calendar)->isVisible());
    EXPECT_FALSE(ShowWindow(calendar, SW_SHOW));
    EXPECT_TRUE(Widget(calendar)->isVisible());
  });
}

TEST(Controls, EnablingAndCheckingByHandle) {
  WithDialog([](RecordingDialog& d) {
    HWND box = d.GetDlgItem(1116);
    EXPECT_FALSE(EnableWindow(box, FALSE));
    EXPECT_FALSE(IsWindowEnabled(box));
    EXPECT_TRUE(EnableWindow(box, TRUE));
    EXPECT_TRUE(IsWindowEnabled(box));
    CheckDlgButton(d.m_hWnd, 1116, BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(d.m_hWnd, 1116), BST_CHECKED);
    EXPECT_EQ(GetDlgCtrlID(box), 1116);
    EXPECT_EQ(SendMessage(nullptr, WM_GETTEXTLENGTH, 0, 0), 0);
  });
}

TEST(Controls, IconsFromImagesBecomeTheWindowIcon) {
  WithDialog([](RecordingDialog& d) {
    std::vector<std::uint32_t> small(16 * 16, 0xFF2060A0u);
    std::vector<std::uint32_t> large(32 * 32, 0xFF2060A0u);
    const IconImage images[] = {{16, small.data()}, {32, large.data()}};
    HICON icon = CreateIconFromImages(images, 2);
    ASSERT_NE(icon, nullptr);
    SendMessage(d.m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    const QIcon shown = Widget(d.m_hWnd)->windowIcon();
    EXPECT_THAT(shown.availableSizes(), testing::Contains(QSize(32, 32)));
    EXPECT_EQ(shown.pixmap(16, 16).toImage().pixel(3, 3), 0xFF2060A0u);
    EXPECT_TRUE(DestroyIcon(icon));  // the window keeps its own copy
  });
}

TEST(Controls, AnyDialogRendersToAPng) {
  const std::filesystem::path png = std::filesystem::temp_directory_path() /
                                    ("zembra-gui-" + std::to_string(::getpid()) + ".png");
  bool rendered = false;
  WithDialog([&](RecordingDialog& d) { rendered = RenderWindowToPng(d.m_hWnd, png.c_str()); });
  EXPECT_TRUE(rendered);
  std::ifstream file(png, std::ios::binary);
  char magic[4] = {};
  file.read(magic, 4);
  EXPECT_EQ(std::string(magic + 1, 3), "PNG");
  std::filesystem::remove(png);
}

TEST(Controls, WithoutADisplayTheProgramSaysSoInOneLine) {
  const std::string bin = ZEMBRA_TEST_BIN_DIR;
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("zembra-gui-nodisplay-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" + bin +
                              "/gui_demo' '" + (folder / "x.png").string() + "' 2>'" +
                              (folder / "err.txt").string() + "'";
  const int status = std::system(command.c_str());
  std::ifstream err(folder / "err.txt");
  std::stringstream text;
  text << err.rdbuf();
  EXPECT_NE(status, 0);
  EXPECT_EQ(text.str(),
            "Zembra needs a graphical display (neither DISPLAY nor WAYLAND_DISPLAY is set).\n");
  EXPECT_FALSE(std::filesystem::exists(folder / "x.png"));
  std::filesystem::remove_all(folder);
}

}  // namespace

namespace {

// The user's choice of an entry tells the dialog (CBN_SELCHANGE); the program's own does not.
TEST(Controls, ChoosingAComboBoxEntryTellsTheDialogSettingItDoesNot) {
  RecordingDialog dialog(ControlsTemplate());
  dialog.script = [](RecordingDialog& d) {
    HWND box = d.GetDlgItem(1120);
    for (const char* item : {"RSA", "DSA", "Curve"})
      SendMessage(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    SendMessage(box, CB_SETCURSEL, 0, 0);
    auto* combo = qobject_cast<QComboBox*>(Widget(box));
    ASSERT_NE(combo, nullptr);
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(SendMessage(box, CB_GETCURSEL, 0, 0), 1);
    SendMessage(box, CB_SETCURSEL, 2, 0);
    d.EndDialog(IDOK);
  };
  dialog.DoModal();
  EXPECT_THAT(dialog.log, testing::ElementsAre("init", "command 1120 code 1"));
}

TEST(Controls, EnterInAComboBoxOrCheckBoxIsTheDialogsDefaultCommand) {
  RecordingDialog dialog(ControlsTemplate());
  dialog.script = [](RecordingDialog& d) {
    for (int id : {1120, 1116, 1125}) {
      QWidget* control = Widget(d.GetDlgItem(id));
      if (auto* combo = qobject_cast<QComboBox*>(control)) control = combo->lineEdit();
      control->setFocus();
      QTest::keyClick(control, Qt::Key_Return);
    }
    d.EndDialog(IDOK);
  };
  dialog.DoModal();
  EXPECT_THAT(dialog.log, testing::ElementsAre("init", "command 1 code 0", "command 1 code 0",
                                               "command 1 code 0"));
}

}  // namespace
