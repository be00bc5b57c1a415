// The key commands of the operations window, driven through its buttons: import, export with
// its options panel, deletion after confirmation, and the "Create Key" dialog (without
// generating; the generation tests have a binary of their own).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/gui/common_dialogs.h"
#include "platform/gui/scripted_dialogs.h"
#include "tests/support/key_ring.h"
#include "tests/ui/window_actions.h"
#include "zembra/ui/create_key_dialog.h"

namespace {

using Filters = std::vector<std::pair<std::string, std::string>>;
const Filters kKeyFilters = {{"Key files (*.asc)", "*.asc"}, {"All files (*.*)", "*.*"}};

std::string Fixture(const std::string& name) { return ReadFile(TestKeyFolder() + "/" + name); }

class KeyCommands : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice", "bob"}}; }
  std::string Write(const std::string& name, const std::string& content) {
    const std::string path = ring().path(name);
    WriteFile(path, content);
    return path;
  }
  ScriptedDialogs m_dialogs;
};

class FiveKeys : public KeyCommands {
 protected:
  KeyRingOptions keyRingOptions() const override {
    return {.keys = {"alice", "bob", "carol", "dave", "juergen"}};
  }
};

std::string ImportLog(const std::string& path, int considered, int imported, int unchanged = 0) {
  std::string log = "Importing keys from \"" + path +
                    "\"\nConsidered keys: " + std::to_string(considered) +
                    "\nImported keys: " + std::to_string(imported) + "\n";
  if (unchanged != 0) log += "Unchanged keys: " + std::to_string(unchanged) + "\n";
  return log;
}

}  // namespace

// ---- Import

TEST_F(KeyCommands, ImportingTwoNewKeysRebuildsTheListAndTheSameFileAgainDoesNot) {
  const std::string path = Write("two.asc", Fixture("carol.pub.asc") + Fixture("dave.pub.asc"));
  m_dialogs.answerOpen({path});
  m_dialogs.answerOpen({path});
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    ClickButton(p, IDC_IMPORT_KEYS);
    const auto opens = m_dialogs.asked(ScriptedDialogs::Kind::Open);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].file.filters, kKeyFilters);
    EXPECT_EQ(opens[0].file.filterIndex, 1u);
    EXPECT_EQ(opens[0].file.flags, 0x02881A00u);
    EXPECT_EQ(opens[0].file.initialDir, "");
    EXPECT_EQ(opens[0].file.initialName, "");
    EXPECT_EQ(opens[0].owner, p.m_hWnd);
    EXPECT_EQ(LogText(p), ImportLog(path, 2, 2));
    EXPECT_EQ(RowKeyIds(p),
              (std::vector<std::string>{ring().keyId("alice"), ring().keyId("bob"),
                                        ring().keyId("carol"), ring().keyId("dave")}));
    // A selection survives an import that adds nothing: the list is not rebuilt.
    ClickRow(p, 2);
    SetWindowText(p.item(IDC_LOG), "");
    ClickButton(p, IDC_IMPORT_KEYS);
    EXPECT_EQ(LogText(p), ImportLog(path, 2, 0, 2));
    EXPECT_EQ(SelectedCount(p), 1);
    EXPECT_EQ(RowCount(p), 4);
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}

TEST_F(KeyCommands, ThreeChosenFilesImportInTheDialogsOrderAndRebuildOnce) {
  const std::string known = Write("alice.asc", Fixture("alice.pub.asc"));
  const std::string carol = Write("carol.asc", Fixture("carol.pub.asc"));
  const std::string empty = Write("empty.asc", "");
  m_dialogs.answerOpen({known, carol, empty});
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    ClickRow(p, 0);
    ClickButton(p, IDC_IMPORT_KEYS);
    const std::string log = LogText(p);
    const std::size_t first = log.find(known), second = log.find(carol), third = log.find(empty);
    EXPECT_TRUE(first < second && second < third) << log;
    EXPECT_EQ(log.substr(0, ImportLog(known, 1, 0, 1).size() + ImportLog(carol, 1, 1).size()),
              ImportLog(known, 1, 0, 1) + ImportLog(carol, 1, 1));
    EXPECT_EQ(RowCount(p), 3);
    EXPECT_EQ(SelectedCount(p), 0);  // rebuilt from scratch
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}

TEST_F(KeyCommands, ImportStartsInTheFolderOfTheJobsFirstFileAndACancelSaysTheSystemsText) {
  mkdir(ring().path("mail").c_str(), 0700);
  const FileList files = {ring().path("mail/keys.asc"), ring().path("other.gpg")};
  m_dialogs.cancelOpen();
  WindowProbe w(&files, cmdNone);
  w.then([&](WindowProbe& p) {
    ClickButton(p, IDC_IMPORT_KEYS);
    const auto opens = m_dialogs.asked(ScriptedDialogs::Kind::Open);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].file.initialDir, ring().path("mail/"));
    EXPECT_EQ(p.files(), files);
    EXPECT_EQ(LogText(p), WithLf(SystemMessageText(0)));
    EXPECT_EQ(RowCount(p), 2);
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}

// ---- Export

TEST_F(KeyCommands, ExportingTwoSelectedKeysWithTheDefaults) {
  const std::string path = ring().path("exported");
  bool panelSeen = false;
  m_dialogs.answerSave(path, [&](HWND panel) {
    panelSeen = true;
    EXPECT_EQ(IsDlgButtonChecked(panel, IDC_EXPORT_PUBLIC), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(panel, IDC_EXPORT_SECRET), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(panel, IDC_FORMAT_ASCII), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(panel, IDC_FORMAT_BINARY), BST_UNCHECKED);
    EXPECT_EQ(GetWindowTextString(GetDlgItem(panel, IDC_EXPORT_SECRET)), "Secret keys");
  });
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    ClickRow(p, 0);
    CtrlClickRow(p, 1);
    ClickButton(p, IDC_EXPORT_KEYS);
    const auto saves = m_dialogs.asked(ScriptedDialogs::Kind::Save);
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_EQ(saves[0].file.filters, kKeyFilters);
    EXPECT_EQ(saves[0].file.defaultExtension, "asc");
    EXPECT_EQ(saves[0].file.initialName, "");
    EXPECT_EQ(saves[0].file.initialDir, "");
    EXPECT_EQ(saves[0].file.flags, 0x02880866u);
    EXPECT_TRUE(saves[0].file.hasPanel);
    EXPECT_EQ(saves[0].owner, p.m_hWnd);
    EXPECT_EQ(LogText(p), "Exporting key(s) to \"" + path + ".asc\"\nDone.\n");
    EXPECT_FALSE(p.IsExportSecret());
    EXPECT_FALSE(p.IsExportBinary());
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_TRUE(panelSeen);
  const ProcessResult shown =
      ring().gpg({"--with-colons", "--import-options", "show-only", "--import", path + ".asc"});
  EXPECT_NE(shown.out.find(ring().fingerprint("alice")), std::string::npos) << shown;
  EXPECT_NE(shown.out.find(ring().fingerprint("bob")), std::string::npos) << shown;
  EXPECT_TRUE(ReadFile(path + ".asc").starts_with("-----BEGIN PGP PUBLIC KEY BLOCK-----"));
}

TEST_F(KeyCommands, ExportChoicesHoldForTheNextExportAndACancelLeavesThem) {
  const std::string first = ring().path("alice-secret.gpg");
  m_dialogs.answerSave(first, [](HWND panel) {
    ClickControl(panel, IDC_EXPORT_SECRET);
    ClickControl(panel, IDC_FORMAT_BINARY);
  });
  // Second dialog: the choices shown again; the user changes them but declines to replace the
  // file and leaves the dialog.
  bool offeredAgain = false;
  m_dialogs.answerSave(
      first,
      [&](HWND panel) {
        offeredAgain = IsDlgButtonChecked(panel, IDC_EXPORT_SECRET) == BST_CHECKED &&
                       IsDlgButtonChecked(panel, IDC_FORMAT_BINARY) == BST_CHECKED &&
                       IsDlgButtonChecked(panel, IDC_EXPORT_PUBLIC) == BST_UNCHECKED;
        ClickControl(panel, IDC_EXPORT_PUBLIC);
        ClickControl(panel, IDC_FORMAT_ASCII);
      },
      false);
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    ClickRow(p, 0);
    ClickButton(p, IDC_EXPORT_KEYS);
    EXPECT_TRUE(p.IsExportSecret());
    EXPECT_TRUE(p.IsExportBinary());
    ClickButton(p, IDC_EXPORT_KEYS);
    EXPECT_TRUE(offeredAgain);
    EXPECT_TRUE(p.IsExportSecret());
    EXPECT_TRUE(p.IsExportBinary());
    EXPECT_EQ(LogText(p), "Exporting key(s) to \"" + first + "\"\nDone.\n");
    EXPECT_EQ(m_dialogs.asked(ScriptedDialogs::Kind::OverwritePrompt).size(), 1u);
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  const std::string data = ReadFile(first);
  ASSERT_FALSE(data.empty());
  EXPECT_EQ(static_cast<unsigned char>(data[0]) & 0xC0,
            0xC0u & static_cast<unsigned char>(data[0]));
  const ProcessResult shown =
      ring().gpg({"--with-colons", "--import-options", "show-only", "--import", first});
  EXPECT_TRUE(shown.out.starts_with("sec:")) << shown;
  EXPECT_EQ(data.find("-----BEGIN"), std::string::npos);
}

TEST_F(KeyCommands, NothingSelectedMeansNoExportDialogAndTheSaveDialogStartsInTheJobsFolder) {
  const FileList files = {ring().path("data.gpg")};
  m_dialogs.cancelSave();
  WindowProbe w(&files, cmdNone);
  w.then([&](WindowProbe& p) {
    SendMessage(p.m_hWnd, WM_COMMAND, MAKEWPARAM(ID_MENU_EXPORT, 0), 0);
    EXPECT_TRUE(m_dialogs.asked(ScriptedDialogs::Kind::Save).empty());
    ClickRow(p, 1);
    ClickButton(p, IDC_EXPORT_KEYS);
    const auto saves = m_dialogs.asked(ScriptedDialogs::Kind::Save);
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_EQ(saves[0].file.initialDir, ring().folder() + "/");
    EXPECT_EQ(LogText(p), "");
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}

// ---- Deletion

TEST_F(FiveKeys, DeletingRowsOneAndThreeKeepsEveryOtherRowOnItsKey) {
  m_dialogs.answerMessageBox(IDYES);
  WindowProbe w(nullptr, cmdNone);
  std::vector<std::string> before;
  w.then([&](WindowProbe& p) {
    before = RowKeyIds(p);
    ClickRow(p, 1);
    CtrlClickRow(p, 3);
    ClickButton(p, IDC_DELETE_KEYS);
    const auto boxes = m_dialogs.asked(ScriptedDialogs::Kind::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "You are going to delete 2 keys.\nAre you sure?");
    EXPECT_EQ(boxes[0].caption, "Zembra");
    EXPECT_EQ(boxes[0].type, MB_YESNO | MB_ICONWARNING);
    EXPECT_EQ(boxes[0].owner, p.m_hWnd);
    EXPECT_EQ(RowKeyIds(p), (std::vector<std::string>{before[0], before[2], before[4]}));
    EXPECT_EQ(LogText(p), "");
    // Each row still carries its own key: exporting row 1 writes that key.
    ClickRow(p, 1);
    m_dialogs.answerSave(ring().path("row1.asc"));
    ClickButton(p, IDC_EXPORT_KEYS);
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  const auto left = ring().publicFingerprints();
  EXPECT_EQ(left.size(), 3u);
  const ProcessResult shown = ring().gpg(
      {"--with-colons", "--import-options", "show-only", "--import", ring().path("row1.asc")});
  EXPECT_NE(shown.out.find(before[2]), std::string::npos) << shown;
  // The deleted keys' secret parts went with them.
  EXPECT_EQ(ring().secretFingerprints().size(), 3u);
}

TEST_F(KeyCommands, AnsweringNoOrDeletingOneAsksAndChangesAccordingly) {
  m_dialogs.answerMessageBox(IDNO);
  m_dialogs.answerMessageBox(IDYES);
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    ClickRow(p, 0);
    ClickButton(p, IDC_DELETE_KEYS);
    EXPECT_EQ(RowCount(p), 2);
    ClickButton(p, IDC_DELETE_KEYS);
    const auto boxes = m_dialogs.asked(ScriptedDialogs::Kind::MessageBox);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "You are going to delete a key.\nAre you sure?");
    EXPECT_EQ(RowKeyIds(p), (std::vector<std::string>{ring().keyId("bob")}));
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_EQ(ring().publicFingerprints(), (std::vector<std::string>{ring().fingerprint("bob")}));
  EXPECT_EQ(ring().secretFingerprints(), (std::vector<std::string>{ring().fingerprint("bob")}));
}

// The engine refuses a key that another program removed meanwhile: one error line, the other
// key removed, the refused row kept with its key.
TEST_F(FiveKeys, AKeyTheEngineRefusesStaysWithOneErrorLine) {
  m_dialogs.answerMessageBox(IDYES);
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    const std::vector<std::string> before = RowKeyIds(p);
    const std::string gone = ring().gpg({"--with-colons", "--fingerprint", before[3]}).out;
    const std::size_t fpr = gone.find("\nfpr:");
    ASSERT_NE(fpr, std::string::npos);
    const std::string fingerprint = gone.substr(fpr + 13, 40);
    ProcessResult removed = ring().gpg({"--yes", "--delete-secret-and-public-key", fingerprint});
    ASSERT_EQ(removed.exitCode, 0) << removed;
    ClickRow(p, 2);
    CtrlClickRow(p, 3);
    ClickButton(p, IDC_DELETE_KEYS);
    const std::string log = LogText(p);
    EXPECT_TRUE(log.starts_with("Error: ")) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_EQ(RowKeyIds(p), (std::vector<std::string>{before[0], before[1], before[3], before[4]}));
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_EQ(ring().publicFingerprints().size(), 3u);
}

// ---- The "Create Key" dialog

// The passphrase is no longer a required field: an empty one is asked about once the required
// fields are filled (see CreateKeyDialog).
TEST_F(KeyCommands, MissingFieldsAreListedWithoutAnEmptyPassphraseAndTheDialogStaysOpen) {
  bool stayedOpen = false;
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    WhenDialogOpens(p, [&](HWND dialog) {
      EXPECT_EQ(GetWindowTextString(dialog), "Create Key");
      SetDlgItemText(dialog, IDC_EMAIL, "someone@example.org");
      ClickControl(dialog, IDOK);
      stayedOpen = IsWindow(dialog) && WindowProbe::Widget(dialog)->isVisible();
      EXPECT_EQ(GetDlgItemTextString(dialog, IDC_EMAIL), "someone@example.org");
      ClickControl(dialog, IDCANCEL);
    });
    ClickButton(p, IDC_CREATE_KEY);
    const auto boxes = m_dialogs.asked(ScriptedDialogs::Kind::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "One or more required fields are not filled:\n- Name\n");
    EXPECT_EQ(boxes[0].caption, "Zembra");
    EXPECT_EQ(boxes[0].type, MB_OK | MB_ICONERROR);
    EXPECT_NE(boxes[0].owner, p.m_hWnd);
    EXPECT_EQ(LogText(p), "");
    EXPECT_EQ(RowCount(p), 2);
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_TRUE(stayedOpen);
}

TEST_F(KeyCommands, AFieldHoldingALineBreakIsRefusedByName) {
  WindowProbe w(nullptr, cmdNone);
  std::string typed;
  w.then([&](WindowProbe& p) {
    WhenDialogOpens(p, [&](HWND dialog) {
      SetDlgItemText(dialog, IDC_NAME, "Mallory");
      SetDlgItemText(dialog, IDC_EMAIL, "mallory@example.org");
      SetDlgItemText(dialog, IDC_PASSPHRASE, "pass\nExpire-Date: 2000-01-01");
      SetDlgItemText(dialog, IDC_CONFIRM_PASSPHRASE, "pass\nExpire-Date: 2000-01-01");
      typed = GetDlgItemTextString(dialog, IDC_PASSPHRASE);
      ClickControl(dialog, IDOK);
      ClickControl(dialog, IDCANCEL);
    });
    ClickButton(p, IDC_CREATE_KEY);
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  const auto boxes = m_dialogs.asked(ScriptedDialogs::Kind::MessageBox);
  if (typed.find('\n') == std::string::npos) {
    // The field itself kept the line break out; nothing to refuse.
    EXPECT_TRUE(boxes.empty());
  } else {
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              "The field \"Passphrase\" must not contain a line break or a NUL character.");
    EXPECT_EQ(boxes[0].caption, "Zembra");
  }
  EXPECT_EQ(ring().publicFingerprints().size(), 2u);
}

TEST_F(KeyCommands, CancelAndTheCloseBoxCreateNothing) {
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    WhenDialogOpens(p, [&](HWND dialog) {
      SetDlgItemText(dialog, IDC_NAME, "Nobody");
      SetDlgItemText(dialog, IDC_EMAIL, "nobody@example.org");
      SetDlgItemText(dialog, IDC_PASSPHRASE, "words");
      ClickControl(dialog, IDCANCEL);
    });
    ClickButton(p, IDC_CREATE_KEY);
    WhenDialogOpens(p, [&](HWND dialog) {
      SetDlgItemText(dialog, IDC_NAME, "Nobody");
      SetDlgItemText(dialog, IDC_EMAIL, "nobody@example.org");
      SetDlgItemText(dialog, IDC_PASSPHRASE, "words");
      WindowProbe::Widget(dialog)->close();
    });
    ClickButton(p, IDC_CREATE_KEY);
    EXPECT_EQ(LogText(p), "");
    EXPECT_EQ(RowCount(p), 2);
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_TRUE(m_dialogs.asked().empty());
  EXPECT_EQ(ring().publicFingerprints().size(), 2u);
}

TEST_F(KeyCommands, TheDialogOpensWithItsDefaultsAndExpiresGrowsAndShrinksIt) {
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    WhenDialogOpens(p, [&](HWND dialog) {
      EXPECT_EQ(GetDlgItemTextString(dialog, IDC_ALGORITHM), "RSA");
      EXPECT_EQ(GetDlgItemTextString(dialog, IDC_KEY_LENGTH), "2048");
      EXPECT_EQ(SendMessage(GetDlgItem(dialog, IDC_ALGORITHM), CB_GETCOUNT, 0, 0), 5);
      EXPECT_EQ(SendMessage(GetDlgItem(dialog, IDC_KEY_LENGTH), CB_GETCOUNT, 0, 0), 4);
      HWND calendar = GetDlgItem(dialog, IDC_CALENDAR);
      EXPECT_FALSE(WindowProbe::Widget(calendar)->isVisible());
      RECT shut, ok;
      GetWindowRect(dialog, &shut);
      GetWindowRect(GetDlgItem(dialog, IDOK), &ok);
      RECT c;
      GetWindowRect(calendar, &c);
      const int calendarHeight = c.bottom - c.top;
      ASSERT_GT(calendarHeight, 50);

      ClickControl(dialog, IDC_EXPIRES);
      RECT open, okOpen;
      GetWindowRect(dialog, &open);
      GetWindowRect(GetDlgItem(dialog, IDOK), &okOpen);
      EXPECT_EQ(open.bottom - open.top, shut.bottom - shut.top + calendarHeight);
      EXPECT_EQ(open.right - open.left, shut.right - shut.left);
      EXPECT_EQ(okOpen.top - open.top, ok.top - shut.top + calendarHeight);
      EXPECT_TRUE(WindowProbe::Widget(calendar)->isVisible());
      // The buttons sit below the calendar, inside the dialog.
      GetWindowRect(calendar, &c);
      EXPECT_LE(c.bottom, okOpen.top);
      EXPECT_LE(okOpen.bottom, open.bottom);

      ClickControl(dialog, IDC_EXPIRES);
      RECT again;
      GetWindowRect(dialog, &again);
      EXPECT_EQ(again.bottom - again.top, shut.bottom - shut.top);
      EXPECT_FALSE(WindowProbe::Widget(calendar)->isVisible());
      ClickControl(dialog, IDCANCEL);
    });
    ClickButton(p, IDC_CREATE_KEY);
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}
