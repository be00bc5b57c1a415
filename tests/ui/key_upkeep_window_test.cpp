// Key upkeep and passphrase-only encryption through the operations window: the pop-up menu of
// the key list, the dialogs it opens, the rows that show the change, and the question Encrypt
// asks when no chosen key can encrypt.
#include <gtest/gtest.h>

#include "platform/gui/scripted_dialogs.h"
#include "tests/support/key_ring.h"
#include "tests/support/test_env.h"
#include "tests/ui/window_actions.h"
#include "zembra/ui/key_upkeep_dialogs.h"

namespace {

class KeyUpkeepWindow : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice", "signer", "secret"}}; }
  static int RowOf(WindowProbe& p, const std::string& keyId) {
    for (int row = 0; row < RowCount(p); ++row)
      if (CellText(p, row, 0) == keyId) return row;
    ADD_FAILURE() << "no row for " << keyId;
    return 0;
  }
  // Right-clicks the row and picks the menu item.
  void Choose(WindowProbe& p, int row, UINT item) {
    m_dialogs.answerPopupMenu(item);
    ClickRow(p, row, Qt::RightButton);
  }
  // gpg's own decryption with the passphrase given: its output, or "" when it failed.
  std::string GpgDecrypt(const std::string& path, const std::string& passphrase) {
    const ProcessResult plain =
        ring().gpg({"--pinentry-mode", "loopback", "--passphrase", passphrase, "--decrypt", path});
    return plain.exitCode == 0 ? plain.out : "";
  }
  ScriptedDialogs m_dialogs;
};

void PickDay(HWND dialog, int year, int month, int day) {
  SYSTEMTIME date;
  date.wYear = static_cast<WORD>(year);
  date.wMonth = static_cast<WORD>(month);
  date.wDay = static_cast<WORD>(day);
  SendMessage(GetDlgItem(dialog, IDC_CALENDAR), MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&date));
}

}  // namespace

TEST_F(KeyUpkeepWindow, ChangingTheExpiryShowsTheNewDateInTheRowAtOnce) {
  WindowProbe w(nullptr, cmdNone);
  bool dialogSeen = false;
  w.then([&](WindowProbe& p) {
    const int row = RowOf(p, ring().keyId("alice"));
    ClickRow(p, row);
    EXPECT_EQ(CellText(p, row, 2), "");
    WhenDialogOpens(p, [&](HWND dialog) {
      dialogSeen = true;
      // A key without expiry: "Never expires" checked, the calendar off.
      EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_NEVER_EXPIRES), BST_CHECKED);
      EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_CALENDAR)));
      ClickControl(dialog, IDC_NEVER_EXPIRES);
      EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_CALENDAR)));
      PickDay(dialog, 2039, 11, 12);
      ClickControl(dialog, IDOK);
    });
    Choose(p, row, ID_MENU_CHANGE_EXPIRY);
  });
  // The menu's command is posted: it runs once this step has returned.
  w.then([&](WindowProbe& p) {
    const int row = RowOf(p, ring().keyId("alice"));
    EXPECT_TRUE(dialogSeen);
    EXPECT_EQ(CellText(p, row, 2), "2039-11-12");
    EXPECT_EQ(LogText(p), "Changing the expiry of " + ring().fingerprint("alice") +
                              " to 2039-11-12...\nDone.\n");
    EXPECT_EQ(RowKeyIds(p).size(), 3u);
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}

TEST_F(KeyUpkeepWindow, AnExpiryInThePastIsRefusedAndTheDialogStaysOpen) {
  m_dialogs.answerMessageBox(IDOK);
  WindowProbe w(nullptr, cmdNone);
  bool stayedOpen = false;
  w.then([&](WindowProbe& p) {
    const int row = RowOf(p, ring().keyId("alice"));
    ClickRow(p, row);
    WhenDialogOpens(p, [&](HWND dialog) {
      ClickControl(dialog, IDC_NEVER_EXPIRES);
      PickDay(dialog, 2001, 1, 1);
      ClickControl(dialog, IDOK);
      stayedOpen = QApplication::activeModalWidget() == WindowProbe::Widget(dialog);
      ClickControl(dialog, IDCANCEL);
    });
    Choose(p, row, ID_MENU_CHANGE_EXPIRY);
  });
  w.then([&](WindowProbe& p) {
    const int row = RowOf(p, ring().keyId("alice"));
    EXPECT_TRUE(stayedOpen);
    const auto boxes = m_dialogs.asked(ScriptedDialogs::Kind::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Please choose a day after today, or \"Never expires\".");
    EXPECT_EQ(boxes[0].caption, "Zembra");
    EXPECT_EQ(CellText(p, row, 2), "");
    EXPECT_EQ(LogText(p), "");
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}

TEST_F(KeyUpkeepWindow, SettingTheOwnerTrustShowsItInTheRow) {
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    const int row = RowOf(p, ring().keyId("alice"));
    ClickRow(p, row);
    EXPECT_EQ(CellText(p, row, 4), "Ultimate");
    WhenDialogOpens(p, [&](HWND dialog) {
      EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_TRUST_ULTIMATE), BST_CHECKED);
      ClickControl(dialog, IDC_TRUST_MARGINAL);
      ClickControl(dialog, IDOK);
    });
    Choose(p, row, ID_MENU_SET_OWNER_TRUST);
  });
  w.then([&](WindowProbe& p) {
    const int row = RowOf(p, ring().keyId("alice"));
    EXPECT_EQ(CellText(p, row, 4), "Marginal");
    EXPECT_EQ(LogText(p), "Setting the owner trust of " + ring().fingerprint("alice") +
                              " to marginal...\nDone.\n");
    // Cancelling the dialog changes nothing.
    SetWindowText(p.item(IDC_LOG), "");
    WhenDialogOpens(p, [&](HWND dialog) {
      EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_TRUST_MARGINAL), BST_CHECKED);
      ClickControl(dialog, IDC_TRUST_NONE);
      ClickControl(dialog, IDCANCEL);
    });
    Choose(p, row, ID_MENU_SET_OWNER_TRUST);
  });
  w.then([&](WindowProbe& p) {
    EXPECT_EQ(CellText(p, RowOf(p, ring().keyId("alice")), 4), "Marginal");
    EXPECT_EQ(LogText(p), "");
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}

TEST_F(KeyUpkeepWindow, ChangingThePassphraseThroughThePinentryLetsTheNewOneDecrypt) {
  const std::string path = ring().path("letter.txt");
  WriteFile(path, "dear secret\n");
  const ProcessResult encrypted =
      ring().gpg({"--trust-model", "always", "--recipient", ring().fingerprint("secret"),
                  "--output", path + ".gpg", "--encrypt", path});
  ASSERT_EQ(encrypted.exitCode, 0) << encrypted;
  ring().queuePassphrases({kSecretPassphrase});
  ring().setPassphrase("a new passphrase 9");
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    const int row = RowOf(p, ring().keyId("secret"));
    ClickRow(p, row);
    Choose(p, row, ID_MENU_CHANGE_PASSPHRASE);
  });
  w.then([&](WindowProbe& p) {
    EXPECT_EQ(LogText(p),
              "Changing the passphrase of " + ring().fingerprint("secret") + "...\nDone.\n");
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_EQ(GpgDecrypt(path + ".gpg", "a new passphrase 9"), "dear secret\n");
}

TEST_F(KeyUpkeepWindow, EncryptWithoutAKeyThatCanEncryptOffersAPassphrase) {
  const std::string path = ring().path("minutes.txt");
  WriteFile(path, "agreed\n");
  const FileList files{path};
  m_dialogs.answerMessageBox(IDNO);
  m_dialogs.answerMessageBox(IDYES);
  ring().setPassphrase("shared 4 the meeting");
  WindowProbe w(&files, cmdNone);
  w.then([&](WindowProbe& p) {
    ClickRow(p, RowOf(p, ring().keyId("signer")));  // a key that can sign only
    ClickButton(p, IDC_ENCRYPT);
    // No: nothing is encrypted and the files wait.
    EXPECT_EQ(LogText(p), "");
    EXPECT_EQ(p.files(), files);
    ClickButton(p, IDC_ENCRYPT);
    EXPECT_EQ(LogText(p), "Encrypting \"" + path + "\"...\nDone.\n");
    EXPECT_TRUE(p.files().empty());
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  const auto boxes = m_dialogs.asked(ScriptedDialogs::Kind::MessageBox);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "No key is chosen.\nEncrypt the files with a passphrase instead?");
  EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
  EXPECT_EQ(GpgDecrypt(path + ".gpg", "shared 4 the meeting"), "agreed\n");
}

TEST_F(KeyUpkeepWindow, EncryptWithPassphraseFromThePopupEncryptsTheJobsFiles) {
  const std::string first = ring().path("a.txt"), second = ring().path("b.txt");
  WriteFile(first, "one\n");
  WriteFile(second, "two\n");
  const FileList files{first, second};
  ring().setPassphrase("for both 5 files");
  WindowProbe w(&files, cmdNone);
  w.then([&](WindowProbe& p) {
    ClickRow(p, 0);
    Choose(p, 0, ID_MENU_ENCRYPT_PASSPHRASE);
  });
  w.then([&](WindowProbe& p) {
    EXPECT_EQ(LogText(p),
              "Encrypting \"" + first + "\"...\nDone.\nEncrypting \"" + second + "\"...\nDone.\n");
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_EQ(GpgDecrypt(first + ".gpg", "for both 5 files"), "one\n");
  EXPECT_EQ(GpgDecrypt(second + ".gpg", "for both 5 files"), "two\n");
}

TEST_F(KeyUpkeepWindow, ARevocationCertificateIsSavedWhereTheUserChooses) {
  const std::string fpr = MakeKey(ring(), "Made Here <made@example.org>");
  const std::string kept = ring().home() + "/openpgp-revocs.d/" + fpr + ".rev";
  const std::string path = ring().path("made.rev");
  m_dialogs.answerSave(path);
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    const int row = RowOf(p, fpr.substr(24));
    ClickRow(p, row);
    Choose(p, row, ID_MENU_EXPORT_REVOCATION);
  });
  w.then([&](WindowProbe& p) {
    const auto saves = m_dialogs.asked(ScriptedDialogs::Kind::Save);
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_EQ(saves[0].file.initialName, fpr + ".rev");
    EXPECT_EQ(saves[0].file.defaultExtension, "rev");
    EXPECT_EQ(LogText(p),
              "Exporting the revocation certificate of " + fpr + " to \"" + path + "\"\nDone.\n");
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_EQ(ReadFile(path), ReadFile(kept));
}

TEST_F(KeyUpkeepWindow, AKeyWithoutARevocationCertificateSaysSoBeforeAnyNameIsAsked) {
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    const int row = RowOf(p, ring().keyId("alice"));
    ClickRow(p, row);
    Choose(p, row, ID_MENU_EXPORT_REVOCATION);
  });
  w.then([&](WindowProbe& p) {
    EXPECT_TRUE(m_dialogs.asked(ScriptedDialogs::Kind::Save).empty());
    EXPECT_EQ(LogText(p), "Error: GnuPG keeps no revocation certificate for " +
                              ring().fingerprint("alice") +
                              "; it keeps one only for the keys it made itself\n");
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}

TEST_F(KeyUpkeepWindow, ATrustChangeOnAKeyGpgChangedMeanwhileShowsBothChangesInTheRow) {
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    const int row = RowOf(p, ring().keyId("alice"));
    ClickRow(p, row);
    // gpg itself gives the key an expiry while the window shows it without one.
    const ProcessResult expired =
        ring().gpg({"--quick-set-expire", ring().fingerprint("alice"), "2042-03-04"});
    ASSERT_EQ(expired.exitCode, 0) << expired;
    EXPECT_EQ(CellText(p, row, 2), "");
    WhenDialogOpens(p, [&](HWND dialog) {
      ClickControl(dialog, IDC_TRUST_FULL);
      ClickControl(dialog, IDOK);
    });
    Choose(p, row, ID_MENU_SET_OWNER_TRUST);
  });
  w.then([&](WindowProbe& p) {
    const int row = RowOf(p, ring().keyId("alice"));
    EXPECT_EQ(CellText(p, row, 4), "Full");
    EXPECT_EQ(CellText(p, row, 2), "2042-03-04");
    EXPECT_EQ(LogText(p),
              "Setting the owner trust of " + ring().fingerprint("alice") + " to full...\nDone.\n");
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}
