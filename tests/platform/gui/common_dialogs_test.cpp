// The common dialogs behind the scripted service: what the product asked and what it got back,
// in the buffer layouts it reads. One test drives Qt's real file dialog with its options panel.
#include <unistd.h>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/gui/common_dialogs.h"
#include "platform/gui/menu.h"
#include "platform/gui/scripted_dialogs.h"
#include "platform/gui/shell.h"
#include "tests/platform/gui/gui_test_support.h"

using gui_test::RecordingDialog;
using gui_test::Widget;
using testing::ElementsAre;

namespace {

constexpr char kFilter[] = "Encrypted files (*.gpg;*.pgp)\0*.gpg;*.pgp\0All files (*.*)\0*.*\0";
constexpr DWORD kOpenFlags = OFN_ALLOWMULTISELECT | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST |
                             OFN_EXPLORER | OFN_ENABLESIZING | OFN_DONTADDTORECENT;

OPENFILENAME OpenRequest(char* buffer, DWORD size) {
  OPENFILENAME ofn;
  ofn.lpstrFilter = kFilter;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = buffer;
  ofn.nMaxFile = size;
  ofn.Flags = kOpenFlags;
  buffer[0] = '\0';
  return ofn;
}

TEST(OpenFileDialog, SeveralFilesComeAsFolderThenNames) {
  ScriptedDialogs dialogs;
  dialogs.answerOpen({"/data/in/a.gpg", "/data/in/b.gpg", "/data/in/c d.pgp"});
  char buffer[2048];
  OPENFILENAME ofn = OpenRequest(buffer, sizeof buffer);
  ASSERT_TRUE(GetOpenFileName(&ofn));
  EXPECT_EQ(ofn.nFileOffset, 9);
  EXPECT_EQ(buffer[ofn.nFileOffset - 1], '\0');
  EXPECT_EQ(std::memcmp(buffer, "/data/in\0a.gpg\0b.gpg\0c d.pgp\0\0", 31), 0);
  const auto asked = dialogs.asked(ScriptedDialogs::Kind::Open);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].file.flags, 0x02881A00u);
  EXPECT_THAT(asked[0].file.filters,
              ElementsAre(std::pair<std::string, std::string>("Encrypted files (*.gpg;*.pgp)",
                                                              "*.gpg;*.pgp"),
                          std::pair<std::string, std::string>("All files (*.*)", "*.*")));
  EXPECT_EQ(asked[0].file.filterIndex, 1u);
}

TEST(OpenFileDialog, OneFileComesAsItsFullPath) {
  ScriptedDialogs dialogs;
  dialogs.answerOpen({"/data/in/only.gpg"});
  char buffer[2048];
  OPENFILENAME ofn = OpenRequest(buffer, sizeof buffer);
  ASSERT_TRUE(GetOpenFileName(&ofn));
  EXPECT_STREQ(buffer, "/data/in/only.gpg");
  EXPECT_EQ(ofn.nFileOffset, 9);
  EXPECT_EQ(buffer[ofn.nFileOffset - 1], '/');  // not NUL: one file
  EXPECT_STREQ(buffer + ofn.nFileExtension, "gpg");
}

TEST(OpenFileDialog, ATooSmallBufferFailsWithBufferTooSmall) {
  ScriptedDialogs dialogs;
  std::vector<std::string> many;
  for (int i = 0; i < 200; ++i)
    many.push_back("/data/in/file-number-" + std::to_string(i) + ".gpg");
  dialogs.answerOpen(many);
  char buffer[2048];
  OPENFILENAME ofn = OpenRequest(buffer, sizeof buffer);
  EXPECT_FALSE(GetOpenFileName(&ofn));
  EXPECT_EQ(CommDlgExtendedError(), FNERR_BUFFERTOOSMALL);
  EXPECT_EQ(CommDlgExtendedError(), 12291u);
}

TEST(OpenFileDialog, CancelFailsWithCodeZeroAndItsSystemText) {
  ScriptedDialogs dialogs;
  dialogs.cancelOpen();
  char buffer[64];
  OPENFILENAME ofn = OpenRequest(buffer, sizeof buffer);
  EXPECT_FALSE(GetOpenFileName(&ofn));
  EXPECT_EQ(CommDlgExtendedError(), 0u);
  EXPECT_EQ(SystemMessageText(0), "The operation completed successfully.\r\n");
  EXPECT_EQ(SystemMessageText(0x7FFF1234), "");
  EXPECT_EQ(dialogs.unanswered(), 0);
  // Nothing queued: the question is still recorded and counts as unanswered.
  EXPECT_FALSE(GetOpenFileName(&ofn));
  EXPECT_EQ(dialogs.unanswered(), 1);
  EXPECT_EQ(dialogs.asked().size(), 2u);
}

// ---- Save with the export options panel and its hook.

constexpr int kPublic = 1136;
constexpr int kSecret = 1137;
constexpr int kAscii = 1134;
constexpr int kBinary = 1135;

const DialogTemplate& ExportOptions() {
  static const DialogTemplate panel = {
      1004,
      "",
      231,
      41,
      "Microsoft Sans Serif",
      9,
      WS_CHILD | DS_CONTROL,
      {
          {-1, ControlKind::GroupBox, "Export", 7, 2, 105, 36, WS_GROUP, 0},
          {kPublic, ControlKind::RadioButton, "Public keys", 14, 12, 90, 10, WS_GROUP, 0},
          {kSecret, ControlKind::RadioButton, "Secret keys", 14, 24, 90, 10, 0, 0},
          {-1, ControlKind::GroupBox, "Format", 119, 2, 105, 36, WS_GROUP, 0},
          {kAscii, ControlKind::RadioButton, "ASCII", 126, 12, 90, 10, WS_GROUP, 0},
          {kBinary, ControlKind::RadioButton, "Binary", 126, 24, 90, 10, 0, 0},
      }};
  return panel;
}

struct HookRecord {
  std::vector<std::string> events;
  LPARAM customData = 0;
  bool refuseFirst = false;
  std::string fileAtOk;
};
HookRecord* g_hook = nullptr;

UINT_PTR ExportHook(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* ofn = reinterpret_cast<OPENFILENAME*>(lParam);
    g_hook->customData = ofn->lCustData;
    CheckDlgButton(panel, kPublic, BST_CHECKED);
    CheckDlgButton(panel, kAscii, BST_CHECKED);
    g_hook->events.push_back("init");
    return 1;
  }
  if (message == WM_NOTIFY) {
    auto* note = reinterpret_cast<OFNOTIFY*>(lParam);
    if (note->hdr.code == CDN_FILEOK) {
      g_hook->fileAtOk = note->lpOFN->lpstrFile;
      g_hook->events.push_back(
          std::string("file-ok secret=") +
          (IsDlgButtonChecked(panel, kSecret) == BST_CHECKED ? "1" : "0") +
          " binary=" + (IsDlgButtonChecked(panel, kBinary) == BST_CHECKED ? "1" : "0"));
      if (g_hook->refuseFirst) {
        g_hook->refuseFirst = false;
        return 1;
      }
    }
  }
  return 0;
}

OPENFILENAME SaveRequest(char* buffer, DWORD size) {
  OPENFILENAME ofn;
  ofn.lpstrFilter = "Key files (*.asc)\0*.asc\0All files (*.*)\0*.*\0";
  ofn.lpstrFile = buffer;
  ofn.nMaxFile = size;
  ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER |
              OFN_ENABLESIZING | OFN_DONTADDTORECENT | OFN_ENABLEHOOK | OFN_ENABLETEMPLATE;
  ofn.lpstrDefExt = "asc";
  ofn.lCustData = 4711;
  ofn.lpfnHook = ExportHook;
  ofn.lpTemplate = &ExportOptions();
  buffer[0] = '\0';
  return ofn;
}

TEST(SaveFileDialog, TheHookSeesInitThenFileOkAndReadsThePanel) {
  ScriptedDialogs dialogs;
  HookRecord record;
  g_hook = &record;
  // The user ticks "Secret keys" and "Binary" in the panel, then types a name without extension.
  dialogs.answerSave("/data/out/keys", [](HWND panel) {
    QTest::mouseClick(Widget(GetDlgItem(panel, kSecret)), Qt::LeftButton);
    QTest::mouseClick(Widget(GetDlgItem(panel, kBinary)), Qt::LeftButton);
  });
  char buffer[324];
  OPENFILENAME ofn = SaveRequest(buffer, sizeof buffer);
  ASSERT_TRUE(GetSaveFileName(&ofn));
  EXPECT_STREQ(buffer, "/data/out/keys.asc");
  EXPECT_THAT(record.events, ElementsAre("init", "file-ok secret=1 binary=1"));
  EXPECT_EQ(record.customData, 4711);
  EXPECT_EQ(record.fileAtOk, "/data/out/keys.asc");
  EXPECT_EQ(dialogs.asked(ScriptedDialogs::Kind::Save).at(0).file.defaultExtension, "asc");
  g_hook = nullptr;
}

TEST(SaveFileDialog, RadioButtonsOfOneGroupExcludeEachOtherOnly) {
  ScriptedDialogs dialogs;
  HookRecord record;
  g_hook = &record;
  dialogs.answerSave("/data/out/k.asc", [](HWND panel) {
    QTest::mouseClick(Widget(GetDlgItem(panel, kSecret)), Qt::LeftButton);
    EXPECT_EQ(IsDlgButtonChecked(panel, kPublic), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(panel, kAscii), BST_CHECKED);
  });
  dialogs.answerSave("/data/out/k.asc", [](HWND panel) {
    // Unchecking by message works in a group too, and leaves the other choice alone.
    CheckDlgButton(panel, kPublic, BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(panel, kPublic), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(panel, kSecret), BST_UNCHECKED);
  });
  char buffer[324];
  OPENFILENAME ofn = SaveRequest(buffer, sizeof buffer);
  ASSERT_TRUE(GetSaveFileName(&ofn));
  EXPECT_THAT(record.events, ElementsAre("init", "file-ok secret=1 binary=0"));
  ASSERT_TRUE(GetSaveFileName(&ofn));
  g_hook = nullptr;
}

TEST(SaveFileDialog, ARefusedNameKeepsTheDialogForTheNextAnswer) {
  ScriptedDialogs dialogs;
  HookRecord record;
  record.refuseFirst = true;
  g_hook = &record;
  dialogs.answerSave("/data/out/first.asc");
  dialogs.answerSave("/data/out/second.asc");
  char buffer[324];
  OPENFILENAME ofn = SaveRequest(buffer, sizeof buffer);
  ASSERT_TRUE(GetSaveFileName(&ofn));
  EXPECT_STREQ(buffer, "/data/out/second.asc");
  EXPECT_THAT(dialogs.refusedNames(), ElementsAre("/data/out/first.asc"));
  EXPECT_THAT(record.events,
              ElementsAre("init", "file-ok secret=0 binary=0", "file-ok secret=0 binary=0"));
  g_hook = nullptr;
}

TEST(SaveFileDialog, CancelLeavesTheBufferAndReportsNoError) {
  ScriptedDialogs dialogs;
  HookRecord record;
  g_hook = &record;
  dialogs.cancelSave();
  char buffer[324];
  OPENFILENAME ofn = SaveRequest(buffer, sizeof buffer);
  EXPECT_FALSE(GetSaveFileName(&ofn));
  EXPECT_EQ(CommDlgExtendedError(), 0u);
  EXPECT_STREQ(buffer, "");
  EXPECT_THAT(record.events, ElementsAre("init"));
  g_hook = nullptr;
}

TEST(SaveFileDialog, QtsOwnDialogHoldsThePanelAndAsksTheHook) {
  // No script: the real file dialog, answered by typing a name and pressing Save.
  gui_test::EnsureQt();
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("zembra-gui-save-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  HookRecord record;
  g_hook = &record;
  bool panelInside = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    // The panel shows inside the dialog, where the user sees it.
    auto* first = dialog->findChild<QRadioButton*>();
    panelInside = first != nullptr && first->isVisible() &&
                  dialog->rect().contains(QRect(first->mapTo(dialog, QPoint(0, 0)), first->size()));
    for (QRadioButton* radio : dialog->findChildren<QRadioButton*>()) {
      if (radio->text() == QStringLiteral("Binary")) QTest::mouseClick(radio, Qt::LeftButton);
    }
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText(QStringLiteral("exported"));
    QTest::keyClick(name, Qt::Key_Return);
  });
  char buffer[324];
  OPENFILENAME ofn = SaveRequest(buffer, sizeof buffer);
  const std::string initial = folder.string();
  ofn.lpstrInitialDir = initial.c_str();
  const BOOL saved = GetSaveFileName(&ofn);
  EXPECT_TRUE(saved);
  EXPECT_TRUE(panelInside);
  EXPECT_EQ(std::string(buffer), (folder / "exported.asc").string());
  EXPECT_THAT(record.events, ElementsAre("init", "file-ok secret=0 binary=1"));
  g_hook = nullptr;
  std::filesystem::remove_all(folder);
}

// A temporary folder of the test's own.
class TempFolder {
 public:
  explicit TempFolder(const std::string& name)
      : m_path(std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(m_path);
  }
  ~TempFolder() { std::filesystem::remove_all(m_path); }
  std::string file(const std::string& name, bool create) const {
    const std::filesystem::path path = m_path / name;
    if (create) std::ofstream(path) << "old";
    return path.string();
  }
  const std::filesystem::path& path() const { return m_path; }

 private:
  std::filesystem::path m_path;
};

TEST(SaveFileDialog, AnExistingFileIsReplacedOnlyAfterTheUserSaysSo) {
  TempFolder folder("zembra-gui-overwrite");
  const std::string existing = folder.file("keys.asc", true);
  const std::string fresh = folder.file("other.asc", false);
  ScriptedDialogs dialogs;
  HookRecord record;
  g_hook = &record;
  dialogs.answerSave(existing, {}, false);  // "No": the dialog stays open
  dialogs.answerSave(fresh);
  char buffer[324];
  OPENFILENAME ofn = SaveRequest(buffer, sizeof buffer);
  ASSERT_TRUE(GetSaveFileName(&ofn));
  EXPECT_EQ(std::string(buffer), fresh);
  const auto prompts = dialogs.asked(ScriptedDialogs::Kind::OverwritePrompt);
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_EQ(prompts[0].text, "keys.asc already exists.\nDo you want to replace it?");
  // The hook saw only the name that was taken.
  EXPECT_THAT(record.events, ElementsAre("init", "file-ok secret=0 binary=0"));
  EXPECT_EQ(record.fileAtOk, fresh);

  dialogs.answerSave(existing);  // "Yes"
  ASSERT_TRUE(GetSaveFileName(&ofn));
  EXPECT_EQ(std::string(buffer), existing);
  EXPECT_EQ(dialogs.asked(ScriptedDialogs::Kind::OverwritePrompt).size(), 2u);
  g_hook = nullptr;
}

TEST(SaveFileDialog, QtsOwnDialogAsksBeforeReplacingThenTheHook) {
  gui_test::EnsureQt();
  TempFolder folder("zembra-gui-qt-overwrite");
  const std::string existing = folder.file("keys.asc", true);
  HookRecord record;
  g_hook = &record;
  std::string question;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText(QStringLiteral("keys.asc"));
    // The question comes up inside the key press; answer it from its own loop.
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      question = box->text().toStdString();
      EXPECT_EQ(record.events.size(), 1u);  // the hook has not yet seen the name
      box->button(QMessageBox::Yes)->click();
    });
    QTest::keyClick(name, Qt::Key_Return);
  });
  char buffer[324];
  OPENFILENAME ofn = SaveRequest(buffer, sizeof buffer);
  const std::string initial = folder.path().string();
  ofn.lpstrInitialDir = initial.c_str();
  ASSERT_TRUE(GetSaveFileName(&ofn));
  EXPECT_EQ(std::string(buffer), existing);
  EXPECT_EQ(question, "keys.asc already exists.\nDo you want to replace it?");
  EXPECT_THAT(record.events, ElementsAre("init", "file-ok secret=0 binary=0"));
  g_hook = nullptr;
}

// ---- Message boxes, pop-up menus, the shell

TEST(MessageBoxes, TheScriptAnswersAndTheQuestionIsRecorded) {
  ScriptedDialogs dialogs;
  dialogs.answerMessageBox(IDYES);
  EXPECT_EQ(MessageBox(nullptr, "Delete the keys?", "Zembra", MB_YESNO | MB_ICONQUESTION), IDYES);
  EXPECT_EQ(MessageBox(nullptr, "Unexpected", "Zembra", MB_YESNO), IDNO);
  ASSERT_EQ(dialogs.asked().size(), 2u);
  EXPECT_EQ(dialogs.asked()[0].caption, "Zembra");
  EXPECT_EQ(dialogs.asked()[0].text, "Delete the keys?");
  EXPECT_EQ(dialogs.asked()[0].type, MB_YESNO | MB_ICONQUESTION);
  EXPECT_EQ(dialogs.unanswered(), 1);
}

const MenuTemplate& KeyMenu() {
  static const MenuTemplate menu = {108,
                                    {{"PopupMenu",
                                      {{"En&crypt", 1205},
                                       {"&Sign", 1209},
                                       {"&Export...", 1207},
                                       {nullptr, 0},
                                       {"Set As &Default", 1208}}},
                                     {"Sign", {{"&Sign", 1209}, {"Sign &Clipboard", 1210}}}}};
  return menu;
}

TEST(PopupMenus, TheChoiceArrivesAsAPostedCommandAtTheOwner) {
  ScriptedDialogs dialogs;
  dialogs.answerPopupMenu(1208);
  RecordingDialog owner(gui_test::RoutingTemplate());
  BOOL tracked = FALSE;
  size_t logAfterTrack = 0;
  owner.script = [&](RecordingDialog& d) {
    HMENU menu = LoadMenuIndirect(KeyMenu());
    tracked = TrackPopupMenu(GetSubMenu(menu, 0), TPM_LEFTBUTTON, 300, 200, 0, d.m_hWnd, nullptr);
    logAfterTrack = d.log.size();
    DestroyMenu(menu);
    PostMessage(d.m_hWnd, WM_USER + 54, IDOK, 0);
  };
  owner.DoModal();
  EXPECT_TRUE(tracked);
  EXPECT_EQ(logAfterTrack, 1u);  // posted, not sent
  EXPECT_THAT(owner.log, ElementsAre("init", "command 1208 code 0", "finish"));
  const auto asked = dialogs.asked(ScriptedDialogs::Kind::PopupMenu);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].point.x, 300);
  EXPECT_EQ(asked[0].point.y, 200);
  EXPECT_THAT(asked[0].menuIds, ElementsAre(1205u, 1209u, 1207u, 1208u));
}

TEST(PopupMenus, ReturnCmdGivesTheIdAndDismissingGivesNothing) {
  ScriptedDialogs dialogs;
  dialogs.answerPopupMenu(1210);
  dialogs.answerPopupMenu(0);
  HMENU menu = LoadMenuIndirect(KeyMenu());
  EXPECT_EQ(GetSubMenu(menu, 2), nullptr);
  EXPECT_EQ(TrackPopupMenu(GetSubMenu(menu, 1), TPM_RETURNCMD, 1, 2, 0, nullptr, nullptr), 1210);
  EXPECT_EQ(TrackPopupMenu(GetSubMenu(menu, 1), TPM_RETURNCMD, 1, 2, 0, nullptr, nullptr), 0);
  EXPECT_FALSE(DestroyMenu(GetSubMenu(menu, 1)));
  EXPECT_TRUE(DestroyMenu(menu));
}

TEST(Shell, OpeningAnAddressIsRecordedNotOpened) {
  ScriptedDialogs dialogs;
  EXPECT_EQ(
      ShellExecute(nullptr, "open", "https://example.org/zembra/update", nullptr, nullptr, SW_SHOW),
      33);
  EXPECT_THAT(dialogs.openedUrls(), ElementsAre("https://example.org/zembra/update"));
}

}  // namespace
