// The operations window with default keys, signing, verification and the clipboard, driven
// through its real controls and commands.
#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <QTimer>

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/gui/clipboard.h"
#include "platform/gui/scripted_dialogs.h"
#include "tests/keys/stored_settings.h"
#include "tests/support/key_ring.h"
#include "tests/ui/window_probe.h"
#include "zembra/keys/settings.h"

using namespace std::string_literals;

namespace {

std::string WithLf(std::string text) {
  for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
    text.erase(at, 1);
  return text;
}

std::string LogOf(WindowProbe& w) { return WithLf(GetWindowTextString(w.item(IDC_LOG))); }

std::string Cell(HWND list, int row, int column) {
  char buffer[512] = {};
  LVITEM item;
  item.iSubItem = column;
  item.pszText = buffer;
  item.cchTextMax = sizeof buffer;
  SendMessage(list, LVM_GETITEMTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return buffer;
}

int RowOf(WindowProbe& w, const std::string& keyId) {
  const int rows = static_cast<int>(SendMessage(w.keyList(), LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < rows; ++row)
    if (Cell(w.keyList(), row, 0) == keyId) return row;
  return -1;
}

void ClickRow(WindowProbe& w, int row, Qt::MouseButton button = Qt::LeftButton,
              Qt::KeyboardModifiers modifiers = {}) {
  RECT r;
  SendMessage(w.keyList(), LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
  auto* view = static_cast<QAbstractItemView*>(WindowProbe::Widget(w.keyList()));
  QTest::mouseClick(view->viewport(), button, modifiers,
                    QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2));
}

void ClickButton(WindowProbe& w, int id) {
  QWidget* button = WindowProbe::Widget(w.item(id));
  QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

// What a menu item or the split button's drop-down sends.
void Command(WindowProbe& w, int id) { SendMessage(w.m_hWnd, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

void Close(WindowProbe& w) { QTest::keyClick(WindowProbe::Widget(w.m_hWnd), Qt::Key_Escape); }

std::string ClipboardText() {
  std::string text;
  OpenClipboard(nullptr);
  if (!GetClipboardBytes(CF_TEXT, &text)) text = "(no text)";
  CloseClipboard();
  return text;
}

void PutOnClipboard(const std::string& text) {
  OpenClipboard(nullptr);
  SetClipboardBytes(CF_TEXT, text);
  CloseClipboard();
}

class SigningWindow : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice", "bob", "encrypter"}}; }
  std::string File(const std::string& name, const std::string& content) {
    std::filesystem::create_directories(ring().path("files"));
    const std::string path = ring().path("files/" + name);
    WriteFile(path, content);
    return path;
  }
  void StoreDefaultKeys(const std::string& ids, DWORD use) {
    Store(kDefaultKeysValue, REG_BINARY, ids + "\0"s);
    Store(kUseDefaultKeysValue, REG_DWORD, std::string(reinterpret_cast<const char*>(&use), 4));
  }
  ProcessResult Decrypted(const std::string& path) {
    return ring().gpg({"--decrypt", "-o", "-", path});
  }

  ScriptedDialogs m_dialogs;
};

}  // namespace

TEST_F(SigningWindow, JobWithDefaultKeysInUseEncryptsAsSoonAsTheWindowOpens) {
  StoreDefaultKeys(ring().keyId("bob"), 1);
  const std::string path = File("a.txt", "for bob\n");
  FileList files{path};
  WindowProbe w(&files, cmdEncrypt);
  std::string log;
  w.then([&](WindowProbe& p) {
    log = LogOf(p);
    EXPECT_EQ(IsDlgButtonChecked(p.m_hWnd, IDC_USE_DEFAULT_KEYS), BST_CHECKED);
    Close(p);
  });
  w.DoModal();
  EXPECT_EQ(log, "Encrypting \"" + path + "\"...\nDone.\n");
  const ProcessResult plain = Decrypted(path + ".gpg");
  EXPECT_EQ(plain.out, "for bob\n") << plain;
  EXPECT_NE(plain.err.find(ring().key("bob").subkeyId), std::string::npos) << plain;
}

TEST_F(SigningWindow, UnusableStoredValuesMeanNoDefaultKeys) {
  // Seven bytes are not a key list, and the stored flag is then not read either.
  Store(kDefaultKeysValue, REG_BINARY, "ABCDEF\0"s);
  Store(kUseDefaultKeysValue, REG_DWORD, "\1\0\0\0"s);
  const std::string path = File("a.txt", "x\n");
  FileList files{path};
  WindowProbe w(&files, cmdEncrypt);
  std::string log;
  w.then([&](WindowProbe& p) {
    log = LogOf(p);
    EXPECT_EQ(IsDlgButtonChecked(p.m_hWnd, IDC_USE_DEFAULT_KEYS), BST_UNCHECKED);
    Close(p);
  });
  w.DoModal();
  EXPECT_TRUE(log.starts_with("Please choose key(s)")) << log;
  EXPECT_FALSE(std::filesystem::exists(path + ".gpg"));
}

TEST_F(SigningWindow, StoredIdsTheRingNoLongerHoldsAreSaidAndSkipped) {
  StoreDefaultKeys("0123456789ABCDEF;" + ring().keyId("alice") + ";;", 1);
  const std::string path = File("a.txt", "for alice\n");
  FileList files{path};
  WindowProbe w(&files, cmdEncrypt);
  std::string log;
  w.then([&](WindowProbe& p) {
    log = LogOf(p);
    Close(p);
  });
  w.DoModal();
  EXPECT_EQ(log,
            "Error: End of file\nError: Invalid user ID\nError: Invalid user ID\n"
            "Encrypting \"" +
                path + "\"...\nDone.\n");
  const ProcessResult plain = Decrypted(path + ".gpg");
  EXPECT_NE(plain.err.find(ring().key("alice").subkeyId), std::string::npos) << plain;
  EXPECT_EQ(plain.err.find(ring().key("bob").subkeyId), std::string::npos) << plain;
}

TEST_F(SigningWindow, SetAsDefaultStoresTheSelectedEncryptionKeysInRowOrder) {
  WindowProbe w(nullptr, cmdNone);
  int aliceRow = -1, bobRow = -1;
  m_dialogs.answerPopupMenu(ID_MENU_SET_DEFAULT);
  w.then([&](WindowProbe& p) {
    aliceRow = RowOf(p, ring().keyId("alice"));
    bobRow = RowOf(p, ring().keyId("bob"));
    ClickRow(p, aliceRow);
    ClickRow(p, bobRow, Qt::LeftButton, Qt::ControlModifier);
    ClickRow(p, bobRow, Qt::RightButton);
  });
  w.then([&](WindowProbe& p) { Close(p); });
  w.DoModal();
  const auto [type, data] = Stored(kDefaultKeysValue);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  ASSERT_EQ(data.size(), 34u);
  const std::string first = ring().keyId(aliceRow < bobRow ? "alice" : "bob");
  const std::string second = ring().keyId(aliceRow < bobRow ? "bob" : "alice");
  EXPECT_EQ(data, first + ";" + second + "\0"s);
  EXPECT_EQ(Stored(kUseDefaultKeysValue).second, "\0\0\0\0"s);
}

TEST_F(SigningWindow, SetAsDefaultWithNothingSelectedLeavesTheRegistry) {
  StoreDefaultKeys(ring().keyId("alice"), 0);
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    Command(p, ID_MENU_SET_DEFAULT);
    Close(p);
  });
  w.DoModal();
  EXPECT_EQ(Stored(kDefaultKeysValue).second, ring().keyId("alice") + "\0"s);
}

TEST_F(SigningWindow, SignButtonSignsWithTheSelectedKey) {
  const std::string path = File("report.txt", "figures\n");
  FileList files{path};
  WindowProbe w(&files, cmdNone);
  std::string log;
  w.then([&](WindowProbe& p) {
    ClickRow(p, RowOf(p, ring().keyId("alice")));
    ClickButton(p, IDC_SIGN);
    log = LogOf(p);
    Close(p);
  });
  w.DoModal();
  EXPECT_EQ(log, "Signing \"" + path + "\"...\nDone.\n");
  const ProcessResult checked = Decrypted(path + ".signed.gpg");
  EXPECT_EQ(checked.out, "figures\n") << checked;
}

TEST_F(SigningWindow, SignWithOnlyKeysThatCannotSignDoesNothing) {
  const std::string path = File("report.txt", "figures\n");
  FileList files{path};
  WindowProbe w(&files, cmdNone);
  std::string log;
  w.then([&](WindowProbe& p) {
    ClickRow(p, RowOf(p, ring().keyId("encrypter")));
    ClickButton(p, IDC_SIGN);
    log = LogOf(p);
    EXPECT_EQ(p.files(), FileList{path}) << "the list waits for a press with signers";
    Close(p);
  });
  w.DoModal();
  EXPECT_EQ(log, "");
  EXPECT_FALSE(std::filesystem::exists(path + ".signed.gpg"));
}

TEST_F(SigningWindow, AutomaticProcessingVerifiesSignedFiles) {
  const ProcessResult made =
      ring().gpg({"-u", ring().fingerprint("alice"), "--sign"}, "contract\n");
  const std::string path = File("contract.txt.signed.gpg", made.out);
  FileList files{path};
  WindowProbe w(&files, cmdAuto);
  std::string log;
  w.then([&](WindowProbe& p) {
    log = LogOf(p);
    Close(p);
  });
  w.DoModal();
  // The keys prompt comes first: no keys are chosen, and the job might hold files to encrypt.
  EXPECT_TRUE(log.ends_with("\nVerifying \"" + path +
                            "\"...\nGood signature from \"Alice <alice@example.org>\"\nDone.\n"))
      << log;
  EXPECT_EQ(ReadFile(ring().path("files/contract.txt")), "contract\n");
}

TEST_F(SigningWindow, ClipboardTextIsEncryptedInPlaceAndDecryptedBack) {
  PutOnClipboard("Grüße\n");
  WindowProbe w(nullptr, cmdNone);
  std::string encrypted, log;
  w.then([&](WindowProbe& p) {
    ClickRow(p, RowOf(p, ring().keyId("bob")));
    Command(p, ID_ENCRYPT_CLIPBOARD);
    encrypted = ClipboardText();
    Command(p, IDC_DECRYPT_CLIPBOARD);
    log = LogOf(p);
    Close(p);
  });
  w.DoModal();
  EXPECT_TRUE(encrypted.starts_with("-----BEGIN PGP MESSAGE-----")) << encrypted;
  EXPECT_EQ(log, "Encrypting clipboard contents...Done.\nDecrypting clipboard contents...Done.\n");
  EXPECT_EQ(ClipboardText(), "Grüße\n");
}

TEST_F(SigningWindow, CopiedFilesAreEncryptedAndMissingOnesReported) {
  const std::string a = File("a.txt", "first\n");
  const std::string b = File("b b.txt", "second\n");
  OpenClipboard(nullptr);
  SetClipboardFiles({a, ring().path("files/gone.txt"), b});
  CloseClipboard();
  WindowProbe w(nullptr, cmdNone);
  std::string log;
  w.then([&](WindowProbe& p) {
    ClickRow(p, RowOf(p, ring().keyId("bob")));
    Command(p, ID_ENCRYPT_CLIPBOARD);
    log = LogOf(p);
    Close(p);
  });
  w.DoModal();
  const std::string gone = ring().path("files/gone.txt");
  EXPECT_EQ(log, "Encrypting \"" + a + "\"...\nDone.\nError: cannot open \"" + gone +
                     "\": No such file or directory\nEncrypting \"" + b + "\"...\nDone.\n");
  EXPECT_EQ(Decrypted(a + ".gpg").out, "first\n");
  EXPECT_EQ(Decrypted(b + ".gpg").out, "second\n");
  EXPECT_FALSE(std::filesystem::exists(ring().path("files/gone.txt.gpg")));
  std::vector<std::string> still;
  OpenClipboard(nullptr);
  GetClipboardFiles(&still);
  CloseClipboard();
  EXPECT_EQ(still.size(), 3u) << "the clipboard is not changed";
}

TEST_F(SigningWindow, SignClipboardJobWithDefaultKeysSignsAtOnce) {
  StoreDefaultKeys(ring().keyId("alice"), 1);
  PutOnClipboard("sign me\n");
  WindowProbe w(nullptr, cmdSign);
  std::string log;
  w.then([&](WindowProbe& p) {
    log = LogOf(p);
    Command(p, ID_MENU_VERIFY_CLIPBOARD);
    log += LogOf(p).substr(log.size());
    Close(p);
  });
  w.DoModal();
  EXPECT_EQ(log,
            "Signing clipboard contents...Done.\nVerifying clipboard contents...\n"
            "Good signature from \"Alice <alice@example.org>\"\nDone.\n");
  EXPECT_EQ(ClipboardText(), "sign me\n");
}

TEST_F(SigningWindow, ComputedDefaultKeysAreTheSigningKeysAndAreUsedAtOnce) {
  WindowProbe w(nullptr, cmdNone);
  int aliceRow = -1, bobRow = -1, rows = 0;
  w.then([&](WindowProbe& p) {
    p.window().ComputeDefaultKeys();
    aliceRow = RowOf(p, ring().keyId("alice"));
    bobRow = RowOf(p, ring().keyId("bob"));
    rows = static_cast<int>(SendMessage(p.keyList(), LVM_GETITEMCOUNT, 0, 0));
    Close(p);
  });
  w.DoModal();
  EXPECT_EQ(rows, 3) << "the rows are left as they were";
  const std::string first = ring().keyId(aliceRow < bobRow ? "alice" : "bob");
  const std::string second = ring().keyId(aliceRow < bobRow ? "bob" : "alice");
  EXPECT_EQ(Stored(kDefaultKeysValue).second, first + ";" + second + "\0"s)
      << "the encryption-only key cannot sign";
  EXPECT_EQ(Stored(kUseDefaultKeysValue).second, "\1\0\0\0"s);
}

TEST_F(SigningWindow, HostEntryPointOpensTheWindowOnCopiedFiles) {
  const ProcessResult made = ring().gpg({"-u", ring().fingerprint("alice"), "--sign"}, "copied\n");
  const std::string path = File("copied.txt.signed.gpg", made.out);
  OpenClipboard(nullptr);
  SetClipboardFiles({path});
  CloseClipboard();

  CDlgProgress* dialog = nullptr;
  bool seen = false;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (dialog == nullptr) return;
    seen = true;
    const std::string log = WithLf(GetWindowTextString(GetDlgItem(dialog->m_hWnd, IDC_LOG)));
    if (log.ends_with("Done.\n"))
      PostMessage(dialog->m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
  });
  closer.start(20);
  ClipboardOperation(nullptr, dialog, cmdVerify);
  EXPECT_TRUE(seen) << "the caller could reach the window while it was open";
  EXPECT_EQ(dialog, nullptr);
  EXPECT_EQ(ReadFile(ring().path("files/copied.txt")), "copied\n");
}
