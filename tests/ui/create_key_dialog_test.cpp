// The "Create Key" dialog's new parts: the modern algorithms after the original entries, the
// passphrase typed twice, and the question before a key without a passphrase.
#include <gtest/gtest.h>

#include <QComboBox>
#include <string>
#include <vector>

#include "platform/gui/scripted_dialogs.h"
#include "tests/support/key_ring.h"
#include "tests/ui/window_actions.h"
#include "zembra/ui/create_key_dialog.h"

namespace {

class CreateKeyDialog : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice"}}; }
  ScriptedDialogs m_dialogs;
};

void Fill(HWND dialog, const std::string& passphrase, const std::string& confirmation) {
  SetDlgItemText(dialog, IDC_NAME, "Nova Example");
  SetDlgItemText(dialog, IDC_EMAIL, "nova@example.org");
  SetDlgItemText(dialog, IDC_PASSPHRASE, passphrase.c_str());
  SetDlgItemText(dialog, IDC_CONFIRM_PASSPHRASE, confirmation.c_str());
}

bool IsOpen(HWND dialog) { return IsWindow(dialog) && WindowProbe::Widget(dialog)->isVisible(); }

// Moves the algorithm box to the entry with the arrow keys, as a user does.
void ChooseAlgorithm(HWND dialog, int entry) {
  HWND box = GetDlgItem(dialog, IDC_ALGORITHM);
  QWidget* combo = WindowProbe::Widget(box);
  combo->setFocus();
  for (int i = 0; i < 10; ++i) {
    const auto at = static_cast<int>(SendMessage(box, CB_GETCURSEL, 0, 0));
    if (at == entry) return;
    QTest::keyClick(combo, at < entry ? Qt::Key_Down : Qt::Key_Up);
  }
}

std::string Entry(HWND box, int index) {
  char buffer[128] = {};
  SendMessage(box, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer));
  return buffer;
}

}  // namespace

TEST_F(CreateKeyDialog, TheNewAlgorithmsFollowTheOriginalsAndAFixedSizeDisablesTheLengthBox) {
  std::vector<std::string> entries;
  std::vector<bool> lengthEnabled;  // at entries 0, 2, 3, 4, 1
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    WhenDialogOpens(p, [&](HWND dialog) {
      HWND box = GetDlgItem(dialog, IDC_ALGORITHM);
      for (int i = 0; i < SendMessage(box, CB_GETCOUNT, 0, 0); ++i)
        entries.push_back(Entry(box, i));
      HWND length = GetDlgItem(dialog, IDC_KEY_LENGTH);
      lengthEnabled.push_back(IsWindowEnabled(length) != FALSE);
      for (int entry : {2, 3, 4, 1}) {
        ChooseAlgorithm(dialog, entry);
        EXPECT_EQ(SendMessage(box, CB_GETCURSEL, 0, 0), entry);
        lengthEnabled.push_back(IsWindowEnabled(length) != FALSE);
      }
      ClickControl(dialog, IDCANCEL);
    });
    ClickButton(p, IDC_CREATE_KEY);
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_EQ(entries, (std::vector<std::string>{"RSA", "DSA", "Ed25519/Cv25519 (future default)",
                                               "RSA 3072", "RSA 4096"}));
  EXPECT_EQ(lengthEnabled, (std::vector<bool>{true, false, false, false, true}));
}

TEST_F(CreateKeyDialog, PassphrasesThatDifferAreRefusedNamingBothFieldsAndTheDialogStaysOpen) {
  bool stayedOpen = false;
  std::string keptPassphrase;
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    WhenDialogOpens(p, [&](HWND dialog) {
      Fill(dialog, "correct horse", "correct hose");
      ClickControl(dialog, IDOK);
      stayedOpen = IsOpen(dialog);
      keptPassphrase = GetDlgItemTextString(dialog, IDC_PASSPHRASE);
      ClickControl(dialog, IDCANCEL);
    });
    ClickButton(p, IDC_CREATE_KEY);
    EXPECT_EQ(LogText(p), "");
    EXPECT_EQ(RowCount(p), 1);
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(keptPassphrase, "correct horse");
  const auto boxes = m_dialogs.asked(ScriptedDialogs::Kind::MessageBox);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "The fields \"Passphrase\" and \"Confirm\" differ. Please type the same passphrase in "
            "both.");
  EXPECT_EQ(boxes[0].caption, "Zembra");
  EXPECT_EQ(boxes[0].type, MB_OK | MB_ICONERROR);
  EXPECT_EQ(ring().publicFingerprints().size(), 1u);
}

TEST_F(CreateKeyDialog, AConfirmationAloneIsADifferentPassphraseNotAnEmptyOne) {
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    WhenDialogOpens(p, [&](HWND dialog) {
      Fill(dialog, "", "typed only here");
      ClickControl(dialog, IDOK);
      ClickControl(dialog, IDCANCEL);
    });
    ClickButton(p, IDC_CREATE_KEY);
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  const auto boxes = m_dialogs.asked(ScriptedDialogs::Kind::MessageBox);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].type, MB_OK | MB_ICONERROR);
  EXPECT_NE(boxes[0].text.find("\"Confirm\""), std::string::npos) << boxes[0].text;
}

// No keeps the dialog as it was; Yes makes the key, without protection (the engine would have
// refused "Passphrase:" without a value).
TEST_F(CreateKeyDialog, AnEmptyPassphraseAsksFirstNoKeepsTheDialogAndYesMakesAnUnprotectedKey) {
  bool openAfterNo = false;
  std::string nameAfterNo;
  WindowProbe w(nullptr, cmdNone);
  m_dialogs.answerMessageBox(IDNO);
  m_dialogs.answerMessageBox(IDYES);
  w.then([&](WindowProbe& p) {
    WhenDialogOpens(p, [&](HWND dialog) {
      Fill(dialog, "", "");
      ChooseAlgorithm(dialog, 2);  // Ed25519: quick to make
      ClickControl(dialog, IDOK);
      openAfterNo = IsOpen(dialog);
      nameAfterNo = GetDlgItemTextString(dialog, IDC_NAME);
      ClickControl(dialog, IDOK);
    });
    ClickButton(p, IDC_CREATE_KEY);
  });
  int rows = 0;
  std::string log, lastName;
  w.then([&](WindowProbe& p) {
    rows = RowCount(p);
    log = LogText(p);
    lastName = CellText(p, rows - 1, 5);
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_TRUE(openAfterNo);
  EXPECT_EQ(nameAfterNo, "Nova Example");
  const auto boxes = m_dialogs.asked(ScriptedDialogs::Kind::MessageBox);
  ASSERT_EQ(boxes.size(), 2u);
  for (const auto& box : boxes) {
    EXPECT_EQ(box.caption, "Zembra");
    EXPECT_EQ(box.type, MB_YESNO | MB_ICONWARNING);
    EXPECT_EQ(box.text,
              "The field \"Passphrase\" is empty: the new key will not be protected by a "
              "passphrase, and anyone who can read its key ring can use it.\nCreate the key "
              "without a passphrase?");
  }
  EXPECT_EQ(log, "");
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(lastName, "Nova Example <nova@example.org>");
  const std::vector<std::string> fprs = ring().publicFingerprints();
  ASSERT_EQ(fprs.size(), 2u);
  const std::string made = fprs[0] == ring().fingerprint("alice") ? fprs[1] : fprs[0];
  const ProcessResult listing = ring().gpg({"--with-colons", "--list-keys", made});
  EXPECT_NE(listing.out.find(":ed25519:"), std::string::npos) << listing;
  EXPECT_NE(listing.out.find(":cv25519:"), std::string::npos) << listing;
  // Without protection the secret key leaves the ring with no passphrase asked at all.
  const ProcessResult exported =
      ring().gpg({"--pinentry-mode", "error", "--armor", "--export-secret-keys", made});
  EXPECT_EQ(exported.exitCode, 0) << exported;
  EXPECT_NE(exported.out.find("PRIVATE KEY BLOCK"), std::string::npos);
}
