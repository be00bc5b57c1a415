// Key management as a person does it: the real launcher under a virtual X server, its buttons
// clicked with the pointer and its dialogs filled in from the keyboard. A new user of a portable
// copy (the key ring in the folder "keys" beside the library, still empty) creates a key through
// the dialog, with the busy cursor shown while the engine generates it, encrypts a file with it,
// exports it, deletes it after the confirmation and imports it again from the exported file.
#include <algorithm>
#include <cmath>
#include <iostream>
#include <set>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "tests/e2e/child_process.h"
#include "tests/e2e/x_session.h"
#include "tests/support/key_ring.h"
#include "tests/support/run_process.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr auto kDeadline = 60s;

// The operations window's size and the places of its controls, in dialog units.
constexpr int kWindowWidthDu = 393;
constexpr int kWindowHeightDu = 237;
struct DuRect {
  int x, y, cx, cy;
};
constexpr DuRect kKeyList{7, 15, 321, 128};
constexpr DuRect kImportButton{336, 15, 50, 14};
constexpr DuRect kExportButton{336, 30, 50, 14};
constexpr DuRect kCreateButton{336, 45, 50, 14};
constexpr DuRect kDeleteButton{336, 60, 50, 14};
constexpr DuRect kEncryptButton{336, 83, 50, 14};
// Bare window background beside the buttons, which the Create Key dialog never covers.
constexpr DuRect kBackground{336, 75, 50, 8};

class KeyManagementEndToEnd : public KeyRingTest {
 protected:
  // No installation type in the registry: portable mode.
  KeyRingOptions keyRingOptions() const override { return {.empty = true, .fullInstall = false}; }

  // A portable copy of the launcher and the library; its "keys" folder is the fixture's home,
  // so that the scripted pinentry answers its agent.
  void SetUp() override {
    KeyRingTest::SetUp();
    m_files = ring().path("files");
    fs::create_directories(m_files);
    m_app = ring().path("app");
    fs::create_directories(m_app);
    for (const char* name : {"ZembraShellExtApp", "libZembra.so"}) {
      fs::copy_file(fs::path(ZEMBRA_TEST_BIN_DIR) / name, m_app / name);
    }
    fs::create_directory_symlink(ring().home(), m_app / "keys");
  }
  void TearDown() override {
    m_launcher.reset();
    // The agent the program started for the portable home, whichever socket it chose.
    RunProcess({"gpgconf", "--homedir", (m_app / "keys").string(), "--kill", "all"});
    KeyRingTest::TearDown();
  }

  // The launcher without arguments, as a menu entry starts it: the window with the key list.
  void Launch() {
    m_trace = ring().path("trace.txt");
    const std::string runtime = ring().path("runtime");
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    m_launcher.emplace(std::vector<std::string>{(m_app / "ZembraShellExtApp").string()},
                       ProgramEnvironment(m_display, runtime), fs::path{}, m_trace);
    m_window = m_x.WaitForNewWindow(m_launcher->pid(), {}, kDeadline);
    ASSERT_FALSE(m_window.empty()) << ReadWholeFile(m_trace);
    m_geometry = m_x.Geometry(m_window);
    ASSERT_GT(m_geometry.width, 0);
  }

  std::vector<std::string> Log() const { return TraceLogLines(ReadWholeFile(m_trace)); }
  int LogCount(const std::string& line) const {
    const std::vector<std::string> lines = Log();
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
  }

  // Dialog units to pixels of the window, by the window's own size.
  int PxX(double du) const {
    return static_cast<int>(std::lround(du * m_geometry.width / kWindowWidthDu));
  }
  int PxY(double du) const {
    return static_cast<int>(std::lround(du * m_geometry.height / kWindowHeightDu));
  }
  void ClickCentre(const DuRect& r) {
    m_x.Click(m_window, PxX(r.x + r.cx / 2.0), PxY(r.y + r.cy / 2.0));
  }

  // A click on the first row (which enables the key buttons), then End: the last row alone is
  // selected. The header and the first row take about 11 and 9 units of the list's height.
  void ClickFirstRow() { m_x.Click(m_window, PxX(kKeyList.x + 40), PxY(kKeyList.y + 15)); }
  void SelectLastRow() {
    ClickFirstRow();
    m_x.Keys({"End"});
  }

  // The dialog a click opened: focused, ready for the keyboard.
  std::string OpenedDialog() {
    const std::string dialog = m_x.WaitForNewWindow(m_launcher->pid(), {m_window}, kDeadline);
    EXPECT_FALSE(dialog.empty()) << "no dialog opened; the program wrote:\n"
                                 << ReadWholeFile(m_trace);
    m_x.Focus(dialog);
    return dialog;
  }

  // Export Keys with the panel's defaults (public keys, ASCII) into the file: its log lines.
  void ExportSelectionTo(const std::string& path) {
    const int done = LogCount("Done.");
    ClickCentre(kExportButton);
    OpenedDialog();
    m_x.Type(path);
    m_x.Keys({"Return"});
    ASSERT_TRUE(WaitUntil([&] { return LogCount("Done.") == done + 1; }, kDeadline))
        << ReadWholeFile(m_trace);
    EXPECT_EQ(LogCount("Exporting key(s) to \"" + path + "\""), 1);
  }

  // The primary fingerprints in a key file, and whether it holds secret key material.
  std::vector<std::string> FingerprintsIn(const std::string& file) {
    const ProcessResult shown = ring().gpg({"--with-colons", "--show-keys", file});
    EXPECT_EQ(shown.exitCode, 0) << shown;
    std::vector<std::string> fprs;
    bool primary = false;
    std::istringstream in(shown.out);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("pub:", 0) == 0 || line.rfind("sec:", 0) == 0) primary = true;
      if (line.rfind("fpr:", 0) == 0 && primary) {
        fprs.push_back(line.substr(line.find_first_not_of(':', 4), 40));
        primary = false;
      }
    }
    return fprs;
  }

  std::vector<std::string> NewFingerprints() { return ring().publicFingerprints(); }

  // Right-clicks the first row (selecting it) and picks a pop-up item by its keys.
  void PopupItem(const std::vector<std::string>& keys) {
    const std::vector<std::string> windows = m_x.Windows(m_launcher->pid());
    const std::set<std::string> known(windows.begin(), windows.end());
    m_x.Click(m_window, PxX(kKeyList.x + 40), PxY(kKeyList.y + 15), 3);
    const std::string menu = m_x.WaitForNewWindow(m_launcher->pid(), known, kDeadline);
    ASSERT_FALSE(menu.empty()) << ReadWholeFile(m_trace);
    m_x.Keys(keys);
  }

  fs::path m_files, m_app, m_trace;
  VirtualDisplay m_display;
  XSession m_x{m_display.name()};
  std::optional<ChildProcess> m_launcher;
  std::string m_window;
  WindowGeometry m_geometry;
};

}  // namespace

TEST_F(KeyManagementEndToEnd, ANewUserCreatesAKeyEncryptsWithItExportsDeletesAndImportsIt) {
  Launch();
  EXPECT_NE(
      ReadWholeFile(m_trace).find("Zembra: final path => `" + (m_app / "keys").string() + "`"),
      std::string::npos)
      << ReadWholeFile(m_trace);

  // Create Key: RSA 1024 (two up from 2048), name, e-mail, no comment, a passphrase typed twice.
  ClickCentre(kCreateButton);
  OpenedDialog();
  m_x.Keys({"Tab", "Up", "Up", "Tab"});
  m_x.Type("Erin Example");
  m_x.Keys({"Tab"});
  m_x.Type("erin@example.net");
  m_x.Keys({"Tab", "Tab"});
  m_x.Type("erin e2e pass");
  m_x.Keys({"Tab"});
  m_x.Type("erin e2e pass");  // "Confirm"

  // The pointer rests on the window beside the dialog; OK starts the generation.
  m_x.MovePointer(m_window, PxX(kBackground.x + kBackground.cx / 2.0),
                  PxY(kBackground.y + kBackground.cy / 2.0));
  const std::string normal = m_x.CursorImage();
  ASSERT_FALSE(normal.empty());
  m_x.Keys({"Return"});
  // The busy cursor (animated) from OK until the engine has made the key; then the window's own.
  const auto pressed = std::chrono::steady_clock::now();
  std::optional<std::chrono::steady_clock::time_point> busySince, busyUntil;
  std::string shown;
  while (std::chrono::steady_clock::now() < pressed + kDeadline) {
    shown = m_x.CursorImage();
    const auto now = std::chrono::steady_clock::now();
    if (shown != normal && !busySince) busySince = now;
    if (shown == normal && busySince && !NewFingerprints().empty()) {
      busyUntil = now;
      break;
    }
    std::this_thread::sleep_for(2ms);
  }
  ASSERT_TRUE(busySince.has_value()) << "no other cursor while the key was generated";
  EXPECT_TRUE(busyUntil.has_value()) << "the busy cursor stayed after the generation";
  EXPECT_EQ(shown, normal);
  if (busyUntil) {
    std::cout << "busy cursor from " << (*busySince - pressed) / 1ms << " ms to "
              << (*busyUntil - pressed) / 1ms << " ms after OK\n";
  }

  const std::vector<std::string> created = NewFingerprints();
  ASSERT_EQ(created.size(), 1u) << ReadWholeFile(m_trace);
  const std::string erin = created.front();
  EXPECT_TRUE(Log().empty()) << ReadWholeFile(m_trace);  // no message for a created key

  // Encrypt with the new key (the last row) a file chosen in the dialog; the passphrase typed
  // into the Create Key dialog opens it.
  const std::string letter = (m_files / "letter.txt").string();
  WriteFile(letter, "for Erin only\n");
  SelectLastRow();
  ClickCentre(kEncryptButton);
  OpenedDialog();
  m_x.Type(letter);
  m_x.Keys({"Return"});
  ASSERT_TRUE(WaitUntil([&] { return LogCount("Done.") == 1; }, kDeadline))
      << ReadWholeFile(m_trace);
  EXPECT_EQ(Log(), (std::vector<std::string>{"Encrypting \"" + letter + "\"...", "Done."}));
  const ProcessResult opened =
      ring().gpg({"--pinentry-mode", "loopback", "--passphrase", "erin e2e pass", "-o",
                  letter + ".out", "-d", letter + ".gpg"});
  ASSERT_EQ(opened.exitCode, 0) << opened;
  EXPECT_EQ(ReadWholeFile(letter + ".out"), "for Erin only\n");

  // The new key is the last row: exporting the last row writes it.
  const std::string exported = (m_files / "erin.asc").string();
  SelectLastRow();
  ExportSelectionTo(exported);
  EXPECT_TRUE(ReadWholeFile(exported).starts_with("-----BEGIN PGP PUBLIC KEY BLOCK-----"));
  EXPECT_EQ(FingerprintsIn(exported), std::vector<std::string>{erin});
  const ProcessResult uid = ring().gpg({"--show-keys", exported});
  EXPECT_NE(uid.out.find("Erin Example <erin@example.net>"), std::string::npos) << uid;

  // Delete Keys on the same selection, Yes in the confirmation (and the agent's own question
  // about the secret part, answered by the scripted pinentry).
  ClickCentre(kDeleteButton);
  OpenedDialog();
  m_x.Keys({"Return"});
  ASSERT_TRUE(WaitUntil([&] { return NewFingerprints().empty(); }, kDeadline))
      << ReadWholeFile(m_trace);
  EXPECT_TRUE(ring().secretFingerprints().empty());
  EXPECT_NE(ring().pinentryLog().find("CONFIRM"), std::string::npos) << ring().pinentryLog();
  // The row went with it: a click where it was selects nothing, so Export opens no dialog.
  const std::size_t logged = Log().size();
  ClickFirstRow();
  ClickCentre(kExportButton);
  EXPECT_EQ(m_x.WaitForNewWindow(m_launcher->pid(), {m_window}, 3s), "");
  EXPECT_EQ(Log().size(), logged) << ReadWholeFile(m_trace);

  // Import Keys from the exported file: the counts, and the key is back as the last row.
  ClickCentre(kImportButton);
  OpenedDialog();
  m_x.Type(exported);
  m_x.Keys({"Return"});
  ASSERT_TRUE(WaitUntil([&] { return LogCount("Imported keys: 1") == 1; }, kDeadline))
      << ReadWholeFile(m_trace);
  EXPECT_EQ(LogCount("Importing keys from \"" + exported + "\""), 1);
  EXPECT_EQ(LogCount("Considered keys: 1"), 1);
  EXPECT_EQ(NewFingerprints(), std::vector<std::string>{erin});
  // The list is read again after the counts, and the window takes clicks once it is complete.
  ASSERT_TRUE(WaitUntil(
      [&] {
        return ReadWholeFile(m_trace).find("Zembra: key list: 1 keys\n") != std::string::npos;
      },
      kDeadline))
      << ReadWholeFile(m_trace);
  const std::string afterImport = (m_files / "last-after-import.asc").string();
  SelectLastRow();
  ExportSelectionTo(afterImport);
  EXPECT_EQ(FingerprintsIn(afterImport), std::vector<std::string>{erin});

  // Escape closes the window; a key a loaded machine loses is sent again.
  std::optional<int> exitCode;
  for (int attempt = 0; attempt < 10 && !exitCode; ++attempt) {
    m_x.Focus(m_window);
    m_x.Keys({"Escape"});
    exitCode = m_launcher->WaitFor(3s);
  }
  EXPECT_EQ(exitCode, 0);
}

TEST_F(KeyManagementEndToEnd, TheOwnerChangesTheExpiryAndThePassphraseFromThePopupMenu) {
  // A key GnuPG made without a passphrase (ed25519 with a cv25519 subkey).
  const ProcessResult made =
      ring().gpg({"--pinentry-mode", "loopback", "--passphrase", "", "--quick-gen-key",
                  "Fay Example <fay@example.net>", "future-default", "default", "0"});
  ASSERT_EQ(made.exitCode, 0) << made;
  ASSERT_EQ(NewFingerprints().size(), 1u);
  const std::string fpr = NewFingerprints().front();
  const std::string letter = (m_files / "letter.txt").string();
  WriteFile(letter, "for Fay only\n");
  const ProcessResult encrypted = ring().gpg(
      {"--trust-model", "always", "-r", fpr, "-o", letter + ".gpg", "--encrypt", letter});
  ASSERT_EQ(encrypted.exitCode, 0) << encrypted;
  Launch();

  // Change Expiry: the key has none, so "Never expires" has the focus; Space clears it and
  // Return takes the calendar's day, a year from today.
  PopupItem({"x"});
  OpenedDialog();
  const auto now = std::chrono::system_clock::now();
  m_x.Keys({"space", "Return"});
  ASSERT_TRUE(WaitUntil([&] { return LogCount("Done.") == 1; }, kDeadline))
      << ReadWholeFile(m_trace);
  const std::vector<std::string> log = Log();
  ASSERT_EQ(log.size(), 2u) << ReadWholeFile(m_trace);
  EXPECT_TRUE(log[0].starts_with("Changing the expiry of " + fpr + " to ")) << log[0];
  const ProcessResult listed = ring().gpg({"--with-colons", "--list-keys", fpr});
  const std::int64_t expiry = [&]() -> std::int64_t {
    std::istringstream in(listed.out);
    for (std::string line; std::getline(in, line);) {
      if (!line.starts_with("pub:")) continue;
      std::istringstream fields(line);
      std::string field;
      for (int i = 0; i <= 6; ++i) std::getline(fields, field, ':');
      return field.empty() ? 0 : std::stoll(field);
    }
    return 0;
  }();
  const auto year = std::chrono::duration_cast<std::chrono::seconds>(
                        (now + std::chrono::hours(24 * 365)).time_since_epoch())
                        .count();
  EXPECT_NEAR(static_cast<double>(expiry), static_cast<double>(year), 2 * 86400.0) << listed;

  // Change Passphrase: the first item of that letter; the pinentry (answered by the test) asks
  // only the new one, for a key that had none.
  ring().setPassphrase("fay e2e new pass");
  PopupItem({"p", "Return"});
  ASSERT_TRUE(WaitUntil([&] { return LogCount("Done.") == 2; }, kDeadline))
      << ReadWholeFile(m_trace);
  EXPECT_EQ(LogCount("Changing the passphrase of " + fpr + "..."), 1) << ReadWholeFile(m_trace);
  const ProcessResult wrong = ring().gpg({"--pinentry-mode", "loopback", "--passphrase", "not it",
                                          "-o", letter + ".wrong", "-d", letter + ".gpg"});
  EXPECT_NE(wrong.exitCode, 0) << wrong;
  const ProcessResult opened =
      ring().gpg({"--pinentry-mode", "loopback", "--passphrase", "fay e2e new pass", "-o",
                  letter + ".out", "-d", letter + ".gpg"});
  ASSERT_EQ(opened.exitCode, 0) << opened;
  EXPECT_EQ(ReadWholeFile(letter + ".out"), "for Fay only\n");

  std::optional<int> exitCode;
  for (int attempt = 0; attempt < 10 && !exitCode; ++attempt) {
    m_x.Focus(m_window);
    m_x.Keys({"Escape"});
    exitCode = m_launcher->WaitFor(3s);
  }
  EXPECT_EQ(exitCode, 0) << ReadWholeFile(m_trace);
}

// The modern choice, a passphrase confirmed, and the new key's whole fingerprint in its details:
// the dialog's fingerprint field in groups of four, and "&Copy Fingerprint" on the clipboard.
TEST_F(KeyManagementEndToEnd, AnEd25519KeyWithAConfirmedPassphraseShowsItsWholeFingerprint) {
  Launch();
  ClickCentre(kCreateButton);
  OpenedDialog();
  // Ed25519/Cv25519 is two entries down from RSA; it fixes its size, so Tab passes the length
  // box (disabled) and goes on to the name.
  m_x.Keys({"Down", "Down", "Tab"});
  m_x.Type("Fay Example");
  m_x.Keys({"Tab"});
  m_x.Type("fay@example.net");
  m_x.Keys({"Tab", "Tab"});
  m_x.Type("fay e2e pass");
  m_x.Keys({"Tab"});
  m_x.Type("fay e2e pass");
  m_x.Keys({"Return"});
  ASSERT_TRUE(WaitUntil([&] { return NewFingerprints().size() == 1; }, kDeadline))
      << ReadWholeFile(m_trace);
  const std::string fay = NewFingerprints().front();
  const ProcessResult listing = ring().gpg({"--with-colons", "--list-keys", fay});
  EXPECT_NE(listing.out.find(":ed25519:"), std::string::npos) << listing;
  EXPECT_NE(listing.out.find(":cv25519:"), std::string::npos) << listing;
  EXPECT_TRUE(Log().empty()) << ReadWholeFile(m_trace);
  // The confirmed passphrase protects it.
  const ProcessResult wrong = ring().gpg({"--pinentry-mode", "loopback", "--passphrase",
                                          "fay e2e pas", "--armor", "--export-secret-keys", fay});
  EXPECT_EQ(wrong.out, "") << wrong;
  const ProcessResult right = ring().gpg({"--pinentry-mode", "loopback", "--passphrase",
                                          "fay e2e pass", "--armor", "--export-secret-keys", fay});
  EXPECT_NE(right.out.find("PRIVATE KEY BLOCK"), std::string::npos) << right;

  // A double click on its row opens the details; the fingerprint field has the focus.
  m_x.DoubleClick(m_window, PxX(kKeyList.x + 40), PxY(kKeyList.y + 15));
  const std::string details = OpenedDialog();
  ASSERT_FALSE(details.empty());
  EXPECT_EQ(m_x.WindowName(details), "Key Details");
  std::string grouped;
  for (std::size_t i = 0; i < fay.size(); i += 4) grouped += (i ? " " : "") + fay.substr(i, 4);
  auto clipboard = [&] { return m_x.ClipboardText(); };
  m_x.Keys({"ctrl+a", "ctrl+c"});
  EXPECT_TRUE(WaitUntil([&] { return clipboard() == grouped; }, 10s)) << clipboard();
  m_x.Keys({"alt+c"});
  EXPECT_TRUE(WaitUntil([&] { return clipboard() == fay; }, 10s)) << clipboard();

  // Escape closes the details, then the window.
  m_x.Keys({"Escape"});
  std::optional<int> exitCode;
  for (int attempt = 0; attempt < 10 && !exitCode; ++attempt) {
    m_x.Focus(m_window);
    m_x.Keys({"Escape"});
    exitCode = m_launcher->WaitFor(3s);
  }
  EXPECT_EQ(exitCode, 0) << ReadWholeFile(m_trace);
}

// The launcher crashed at its end (SIGSEGV in Qt's clean-up, run from the exit handlers) once it
// owned the clipboard, as it does after "&Copy Fingerprint".
TEST_F(KeyManagementEndToEnd, OwningTheClipboardAtTheEndNoLongerCrashesTheLauncher) {
  ring().importKeys({"alice"});
  Launch();
  // The Create Key dialog, opened and cancelled, leaves parts of Qt made that its clean-up uses.
  ClickCentre(kCreateButton);
  ASSERT_FALSE(OpenedDialog().empty());
  m_x.Keys({"Escape"});
  m_x.Focus(m_window);
  m_x.DoubleClick(m_window, PxX(kKeyList.x + 40), PxY(kKeyList.y + 15));
  ASSERT_FALSE(OpenedDialog().empty());
  m_x.Keys({"ctrl+a", "ctrl+c"});
  m_x.Keys({"alt+c"});
  ASSERT_TRUE(WaitUntil([&] { return m_x.ClipboardText() == ring().fingerprint("alice"); }, 10s))
      << m_x.ClipboardText();
  m_x.Keys({"Escape"});
  std::optional<int> exitCode;
  for (int attempt = 0; attempt < 10 && !exitCode; ++attempt) {
    m_x.Focus(m_window);
    m_x.Keys({"Escape"});
    exitCode = m_launcher->WaitFor(3s);
  }
  EXPECT_EQ(exitCode, 0) << ReadWholeFile(m_trace);
}
