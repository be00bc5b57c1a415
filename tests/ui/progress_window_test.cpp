// The operations window driven as a user drives it: real clicks on rows and buttons, keys on the
// window, open-file dialogs and pop-up menus answered by the scripted dialog service.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QIcon>
#include <QTest>
#include <algorithm>
#include <filesystem>

#include "platform/gui/clipboard.h"
#include "platform/gui/common_dialogs.h"
#include "platform/gui/scripted_dialogs.h"
#include "tests/support/key_ring.h"
#include "tests/ui/host_window.h"
#include "tests/ui/window_actions.h"
#include "tests/ui/window_probe.h"
#include "zembra/keys/settings.h"
#include "zembra/ui/app_icon.h"
#include "zembra/ui/log_box.h"

namespace {

constexpr int kSelectionButtons[] = {IDC_EXPORT_KEYS, IDC_DELETE_KEYS, IDC_ENCRYPT,
                                     IDC_DECRYPT,     IDC_SIGN,        IDC_VERIFY};
constexpr int kAlwaysEnabled[] = {IDC_IMPORT_KEYS, IDC_CREATE_KEY, IDC_USE_DEFAULT_KEYS, IDC_CLOSE};

// A fresh key ring of two keys for every test; its environment names a full installation.
class ProgressWindow : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice", "bob"}}; }
  ScriptedDialogs m_dialogs;
};

}  // namespace

TEST_F(ProgressWindow, SelectionButtonsStartDisabledAndTheOthersEnabled) {
  WindowProbe w(nullptr, cmdNone);
  bool checked = false;
  w.then([&](WindowProbe& p) {
    EXPECT_EQ(RowCount(p), 2);
    EXPECT_EQ(SelectedCount(p), 0);
    for (const int id : kSelectionButtons) EXPECT_FALSE(Enabled(p, id)) << id;
    for (const int id : kAlwaysEnabled) EXPECT_TRUE(Enabled(p, id)) << id;
    checked = true;
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_TRUE(checked);
}

TEST_F(ProgressWindow, MouseClickOnARowEnablesTheSixButtons) {
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    ClickRow(p, 1);
    EXPECT_EQ(SelectedCount(p), 1);
    for (const int id : kSelectionButtons) EXPECT_TRUE(Enabled(p, id)) << id;
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}

TEST_F(ProgressWindow, KeyboardSelectionAloneLeavesTheButtonsAsTheyWere) {
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    QWidget* list = WindowProbe::Widget(p.keyList());
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    ASSERT_GT(SelectedCount(p), 0);
    for (const int id : kSelectionButtons) EXPECT_FALSE(Enabled(p, id)) << id;
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}

TEST_F(ProgressWindow, RightClickOnARowSelectsItAndShowsThePopupAtThePointer) {
  WindowProbe w(nullptr, cmdNone);
  m_dialogs.answerPopupMenu(0);
  w.then([&](WindowProbe& p) {
    const QPoint centre = RowCentre(p, 1);
    ClickRow(p, 1, Qt::RightButton);
    EXPECT_EQ(SelectedCount(p), 1);
    EXPECT_EQ(SendMessage(p.keyList(), LVM_GETITEMSTATE, 1, LVIS_SELECTED), LVIS_SELECTED);
    const auto menus = m_dialogs.asked(ScriptedDialogs::Kind::PopupMenu);
    ASSERT_EQ(menus.size(), 1u);
    const QPoint global = Viewport(p)->mapToGlobal(centre);
    EXPECT_EQ(menus[0].point.x, global.x());
    EXPECT_EQ(menus[0].point.y, global.y());
    EXPECT_EQ(menus[0].menuIds,
              (std::vector<UINT>{1205, 1209, 1207, 1208, 1214, 1220, 1221, 1222, 1223, 1224}));
    // The right click does not recompute the buttons.
    for (const int id : kSelectionButtons) EXPECT_FALSE(Enabled(p, id)) << id;
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}

TEST_F(ProgressWindow, RightClickOnTheEmptyAreaWithNothingSelectedSelectsEveryRow) {
  WindowProbe w(nullptr, cmdNone);
  m_dialogs.answerPopupMenu(0);
  w.then([&](WindowProbe& p) {
    QWidget* viewport = Viewport(p);
    QTest::mouseClick(viewport, Qt::RightButton, {}, QPoint(10, viewport->height() - 5));
    EXPECT_EQ(SelectedCount(p), RowCount(p));
    EXPECT_EQ(m_dialogs.asked(ScriptedDialogs::Kind::PopupMenu).size(), 1u);
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}

TEST_F(ProgressWindow, EncryptWithAnEmptyListAsksForEncryptedFiles) {
  WindowProbe w(nullptr, cmdNone);
  m_dialogs.cancelOpen();
  w.then([&](WindowProbe& p) {
    ClickRow(p, 0);
    ClickButton(p, IDC_ENCRYPT);
    const auto opens = m_dialogs.asked(ScriptedDialogs::Kind::Open);
    ASSERT_EQ(opens.size(), 1u);
    const FileDialogRequest& request = opens[0].file;
    using Filters = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(request.filters, (Filters{{"Encrypted files (*.gpg;*.pgp)", "*.gpg;*.pgp"},
                                        {"All files (*.*)", "*.*"}}));
    EXPECT_EQ(request.filterIndex, 1u);
    EXPECT_EQ(request.flags, 0x02881A00u);
    EXPECT_EQ(request.initialName, "");
    EXPECT_EQ(opens[0].owner, p.m_hWnd);
    // A cancel writes the system's text for code 0, and nothing is chosen.
    EXPECT_EQ(LogText(p), WithLf(SystemMessageText(0)));
    EXPECT_TRUE(p.files().empty());
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}

TEST_F(ProgressWindow, ChoosingSeveralFilesAddsFolderAndNameForEach) {
  WindowProbe w(nullptr, cmdNone);
  const std::string folder = ring().folder();
  m_dialogs.answerOpen({folder + "/one.gpg", folder + "/two.gpg", folder + "/three.txt"});
  m_dialogs.answerOpen({folder + "/single.gpg"});
  w.then([&](WindowProbe& p) {
    FileList files;
    EXPECT_EQ(ChooseFiles(p.m_hWnd, files), 3);
    EXPECT_EQ(files, (FileList{folder + "/one.gpg", folder + "/two.gpg", folder + "/three.txt"}));
    // A second choice appends to what the list holds.
    EXPECT_EQ(ChooseFiles(p.m_hWnd, files), 4);
    EXPECT_EQ(files.back(), folder + "/single.gpg");
    EXPECT_EQ(LogText(p), "");
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}

TEST_F(ProgressWindow, TooManyNamesForTheBufferWriteMessage9139) {
  WindowProbe w(nullptr, cmdNone);
  std::vector<std::string> many;
  for (int i = 0; i < 60; ++i) {
    many.push_back(ring().folder() + "/a-rather-long-file-name-number-" + std::to_string(i) +
                   ".gpg");
  }
  m_dialogs.answerOpen(many);
  w.then([&](WindowProbe& p) {
    FileList files;
    EXPECT_EQ(ChooseFiles(p.m_hWnd, files), 0);
    EXPECT_TRUE(files.empty());
    EXPECT_EQ(LogText(p), "Error: Too many files selected or too long file name/path.\n");
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}

TEST_F(ProgressWindow, EscapeEndsWith2AndReleasesEverything) {
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    EXPECT_EQ(g_hLog, p.item(IDC_LOG));
    EXPECT_TRUE(p.hasListedKeys());
    EXPECT_TRUE(p.hasContext());
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_EQ(g_hLog, nullptr);
  EXPECT_FALSE(w.hasListedKeys());
  EXPECT_FALSE(w.hasContext());
}

TEST_F(ProgressWindow, CloseButtonEndsWith8AndReleasesEverything) {
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) { ClickButton(p, IDC_CLOSE); });
  EXPECT_EQ(w.DoModal(), IDC_CLOSE);
  EXPECT_EQ(g_hLog, nullptr);
  EXPECT_FALSE(w.hasListedKeys());
  EXPECT_FALSE(w.hasContext());
}

TEST_F(ProgressWindow, JobWithoutKeysPromptsForOneFileAndSaysItIsMissing) {
  const FileList files{"/nonexistent/report.txt.gpg"};
  WindowProbe w(&files, cmdDecrypt);
  w.then([&](WindowProbe& p) {
    EXPECT_EQ(LogText(p),
              "Please choose key(s) and press `Decrypt` button to proceed 1 files "
              "(/nonexistent/report.txt.gpg)\n"
              "Error: cannot open \"/nonexistent/report.txt.gpg\": No such file or directory\n");
    // The posted decryption ran (the missing file was reported) and emptied the list.
    EXPECT_TRUE(p.files().empty());
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}

TEST_F(ProgressWindow, JobWithoutKeysPromptsForSeveralFilesAndKeepsThemForEncrypt) {
  const FileList files{"/nonexistent/a.txt", "/nonexistent/b.txt", "/nonexistent/c.txt"};
  WindowProbe w(&files, cmdEncrypt);
  w.then([&](WindowProbe& p) {
    EXPECT_EQ(LogText(p),
              "Please choose key(s) and press `Encrypt` button to proceed 3 files "
              "(/nonexistent/a.txt and others)\n");
    // Encryption found no keys and kept the list for the button.
    EXPECT_EQ(p.files(), files);
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}

TEST_F(ProgressWindow, EncryptWithoutPathsAndWithoutDefaultKeysMakesEnterEncryptTheClipboard) {
  for (const e_command command : {cmdEncrypt, cmdSign}) {
    WindowProbe w(nullptr, command);
    w.then([&](WindowProbe& p) {
      const auto defId = static_cast<std::uintptr_t>(SendMessage(p.m_hWnd, DM_GETDEFID, 0, 0));
      EXPECT_EQ(HIWORD(defId), DC_HASDEFID);
      EXPECT_EQ(LOWORD(defId), IDC_ENCRYPT_CLIPBOARD);
      EXPECT_EQ(LogText(p), "");
      PressEscape(p);
    });
    EXPECT_EQ(w.DoModal(), IDCANCEL);
  }
}

TEST_F(ProgressWindow, OtherJobsKeepEncryptAsTheDefaultButton) {
  const FileList files{"/nonexistent/a.txt"};
  for (const int number : {0, 7, -1}) {
    WindowProbe w(&files, static_cast<e_command>(number));
    w.then([&](WindowProbe& p) {
      const auto defId = static_cast<std::uintptr_t>(SendMessage(p.m_hWnd, DM_GETDEFID, 0, 0));
      EXPECT_EQ(LOWORD(defId), IDC_ENCRYPT);
      // Nothing started: no prompt, the paths wait in the list.
      EXPECT_EQ(LogText(p), "");
      EXPECT_EQ(p.files(), files);
      PressEscape(p);
    });
    EXPECT_EQ(w.DoModal(), IDCANCEL);
  }
}

TEST_F(ProgressWindow, UpdateLinkOpensTheUpdatePage) {
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    QWidget* link = WindowProbe::Widget(p.item(IDC_UPDATE_LINK));
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(5, link->height() / 2));
    EXPECT_EQ(m_dialogs.openedUrls(), (std::vector<std::string>{"https://zembra.org/updates"}));
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}

// A host program opens the window over its own through Exec and is told of every change of the
// check box; the window's end code comes back to it.
TEST_F(ProgressWindow, UseDefaultKeysFollowsTheCheckBoxAndTellsTheCreator) {
  WindowProbe w(nullptr, cmdNone);
  w.SetUseDefaultKeys(true);
  INT_PTR ended = 0;
  HostWindow host([&](HWND hostWindow) {
    w.then([&, hostWindow](WindowProbe& p) {
       EXPECT_EQ(GetParent(p.m_hWnd), hostWindow);
       EXPECT_EQ(IsDlgButtonChecked(p.m_hWnd, IDC_USE_DEFAULT_KEYS), BST_CHECKED);
       ClickButton(p, IDC_USE_DEFAULT_KEYS);
       EXPECT_EQ(IsDlgButtonChecked(p.m_hWnd, IDC_USE_DEFAULT_KEYS), BST_UNCHECKED);
       DWORD value = 1;
       EXPECT_EQ(LoadUseDefaultKeys(nullptr, value), ERROR_SUCCESS);
       EXPECT_EQ(value, 0u);
       ClickButton(p, IDC_USE_DEFAULT_KEYS);
       EXPECT_EQ(LoadUseDefaultKeys(nullptr, value), ERROR_SUCCESS);
       EXPECT_EQ(value, 1u);
       // The setter changes the box but neither the registry nor the creator.
       p.SetUseDefaultKeys(false);
       EXPECT_EQ(IsDlgButtonChecked(p.m_hWnd, IDC_USE_DEFAULT_KEYS), BST_UNCHECKED);
       EXPECT_EQ(LoadUseDefaultKeys(nullptr, value), ERROR_SUCCESS);
       EXPECT_EQ(value, 1u);
     }).then([&](WindowProbe& p) {
      // Posted: they arrive after the clicks' handlers have returned.
      EXPECT_EQ(host.useDefaultKeysChanges, (std::vector<int>{0, 1}));
      ClickButton(p, IDC_CLOSE);
    });
    ended = w.Exec(hostWindow);
  });
  EXPECT_EQ(host.DoModal(), IDOK);
  EXPECT_EQ(ended, IDC_CLOSE);
  EXPECT_EQ(host.useDefaultKeysChanges, (std::vector<int>{0, 1}));
  EXPECT_EQ(g_hLog, nullptr);
}

// Without GnuPG the window still opens, says why twice (the engine check and the start-up
// check), lists nothing, starts no job and closes cleanly.
TEST_F(ProgressWindow, MissingGnuPGIsReportedAndTheWindowStillCloses) {
  gpgme_check_version(nullptr);
  ASSERT_EQ(gpgme_set_engine_info(GPGME_PROTOCOL_OpenPGP, "/nonexistent/gpg", nullptr), 0u);
  const FileList files{"/nonexistent/a.txt.gpg"};
  WindowProbe w(&files, cmdDecrypt);
  std::string log;
  w.then([&](WindowProbe& p) {
    log = LogText(p);
    EXPECT_EQ(RowCount(p), 0);
    for (const int id : kSelectionButtons) EXPECT_FALSE(Enabled(p, id)) << id;
    EXPECT_EQ(p.files(), files);
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  gpgme_set_engine_info(GPGME_PROTOCOL_OpenPGP, nullptr, nullptr);

  const std::string line = log.substr(0, log.find('\n') + 1);
  EXPECT_EQ(line.rfind("Error: ", 0), 0u) << log;
  EXPECT_EQ(log, line + line);
  EXPECT_EQ(g_hLog, nullptr);
}

// A window without an engine has no context: the import and the copied files' decryption and
// verification each end with the engine's refusal, and nothing crashes.
TEST_F(ProgressWindow, OperationsOnAWindowWithoutAnEngineAreRefusedInsteadOfCrashing) {
  const std::string keyFile = ring().path("key.asc");
  WriteFile(keyFile, "not a key\n");
  const std::string message = ring().path("note.txt.gpg");
  WriteFile(message, "not a message\n");
  OpenClipboard(nullptr);
  SetClipboardFiles({message});
  CloseClipboard();
  gpgme_check_version(nullptr);
  ASSERT_EQ(gpgme_set_engine_info(GPGME_PROTOCOL_OpenPGP, "/nonexistent/gpg", nullptr), 0u);
  m_dialogs.answerOpen({keyFile});
  WindowProbe w(nullptr, cmdNone);
  std::string before, log;
  w.then([&](WindowProbe& p) {
    before = LogText(p);
    ClickButton(p, IDC_IMPORT_KEYS);
    SendMessage(p.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_DECRYPT_CLIPBOARD, 0), 0);
    SendMessage(p.m_hWnd, WM_COMMAND, MAKEWPARAM(ID_MENU_VERIFY_CLIPBOARD, 0), 0);
    log = LogText(p).substr(before.size());
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  gpgme_set_engine_info(GPGME_PROTOCOL_OpenPGP, nullptr, nullptr);

  EXPECT_EQ(log, "Importing keys from \"" + keyFile +
                     "\"\nError: Invalid value\n"
                     "Decrypting \"" +
                     message +
                     "\"...\nError: Invalid value\n"
                     "Verifying \"" +
                     message + "\"...\nError: Invalid value\n");
  EXPECT_FALSE(std::filesystem::exists(ring().path("note.txt")));
}

// Automatic processing as the window runs it: the log shows which entries were decrypted.
TEST_F(ProgressWindow, AutoJobDecryptsByEndingButNeverASignedFile) {
  FileList files;
  for (const char* name : {"report.SIGNED.GPG", "notes.txt", "mail.PGP", "data.txt.gpg"}) {
    WriteFile(ring().path(name), "not an OpenPGP message\n");
    files.push_back(ring().path(name));
  }
  WindowProbe w(&files, cmdAuto);
  w.then([&](WindowProbe& p) {
    const std::string log = LogText(p);
    EXPECT_EQ(log.find("Decrypting \"" + files[0] + "\""), std::string::npos) << log;
    EXPECT_NE(log.find("Decrypting \"" + files[2] + "\"...\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Decrypting \"" + files[3] + "\"...\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("notes.txt\"..."), std::string::npos) << log;
    EXPECT_EQ(p.files(), (FileList{files[1]}));
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}

// The window as built from template 1006: texts by id, and Tab walking the controls in the
// template's order (disabled ones skipped, so a row is clicked first); the update link has no
// tab stop, so Tab goes from Close back to the key list.
TEST_F(ProgressWindow, ControlsShowTheirTextsAndTabFollowsTheTemplate) {
  WindowProbe w(nullptr, cmdNone);
  std::vector<int> order;
  w.then([&](WindowProbe& p) {
    EXPECT_EQ(GetWindowTextString(p.m_hWnd), "Zembra");
    const std::pair<int, const char*> texts[] = {
        {1119, "&Use Default Keys"}, {1109, "&Import Keys..."},
        {1108, "&Export Keys..."},   {1102, "Create &Key..."},
        {1105, "Delete Keys"},       {1106, "En&crypt"},
        {1103, "&Decrypt"},          {1112, "&Sign"},
        {1113, "&Verify"},           {8, "Close"}};
    for (const auto& [id, text] : texts) EXPECT_EQ(GetDlgItemTextString(p.m_hWnd, id), text) << id;

    ClickRow(p, 0);
    QWidget* dialog = WindowProbe::Widget(p.m_hWnd);
    for (int i = 0; i < 12; ++i) {
      QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, Qt::Key_Tab);
      order.push_back(GetDlgCtrlID(reinterpret_cast<HWND>(dialog->focusWidget())));
    }
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_EQ(order, (std::vector<int>{1123, 1119, 1109, 1108, 1102, 1105, 1106, 1103, 1112, 1113, 8,
                                     1130}));
}

// Encrypt with a key selected and an empty list: the files chosen in the dialog are encrypted,
// each beside itself, in the order the dialog lists them, and the list is emptied.
TEST_F(ProgressWindow, EncryptButtonEncryptsTheChosenFiles) {
  std::vector<std::string> chosen;
  for (const char* name : {"one.txt", "two.txt", "three.txt"}) {
    WriteFile(ring().path(name), std::string("content of ") + name);
    chosen.push_back(ring().path(name));
  }
  m_dialogs.answerOpen(chosen);
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    ClickRow(p, 0);
    ClickButton(p, IDC_ENCRYPT);
    std::string expected;
    for (const std::string& path : chosen) {
      expected += "Encrypting \"" + path + "\"...\nDone.\n";
      EXPECT_TRUE(std::filesystem::exists(path + ".gpg")) << path;
    }
    EXPECT_EQ(LogText(p), expected);
    EXPECT_TRUE(p.files().empty());
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}

// Paths given with the job go to the first button pressed, without a file dialog.
TEST_F(ProgressWindow, JobPathsGoToTheFirstButtonWithoutAFileDialog) {
  const std::string plain = ring().path("letter.txt");
  WriteFile(plain, "dear reader\n");
  const ProcessResult r = ring().gpg({"--trust-model", "always", "-r", ring().fingerprint("bob"),
                                      "-o", plain + ".gpg", "-e", plain});
  ASSERT_EQ(r.exitCode, 0) << r;
  std::filesystem::remove(plain);

  const FileList files{plain + ".gpg"};
  WindowProbe w(&files, cmdNone);
  w.then([&](WindowProbe& p) {
    EXPECT_EQ(LogText(p), "");
    ClickRow(p, 0);
    ClickButton(p, IDC_DECRYPT);
    EXPECT_TRUE(m_dialogs.asked(ScriptedDialogs::Kind::Open).empty());
    EXPECT_EQ(LogText(p), "Decrypting \"" + files[0] + "\"...\nDone.\n");
    EXPECT_EQ(ReadFile(plain), "dear reader\n");
    EXPECT_TRUE(p.files().empty());
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}

TEST_F(ProgressWindow, WindowShowsTheIconAtEverySizeAndSharesOneHandle) {
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    const QList<QSize> sizes = WindowProbe::Widget(p.m_hWnd)->windowIcon().availableSizes();
    for (const int size : {16, 24, 32, 48, 64, 128}) {
      EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
    }
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_NE(AppIcon(), nullptr);
  EXPECT_EQ(AppIcon(), AppIcon());
}
