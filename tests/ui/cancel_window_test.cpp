// The window during an operation: it goes on with its events, takes no other command, and its
// Cancel (the Close button, Escape, the close box) stops the operation and the job.
#include <gtest/gtest.h>

#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>

#include "platform/gui/scripted_dialogs.h"
#include "tests/support/key_ring.h"
#include "tests/support/scoped_env.h"
#include "tests/ui/window_actions.h"
#include "tests/ui/window_probe.h"
#include "zembra/ui/key_resource_ids.h"

namespace {

// Large enough that the engine works for a while, random so that it does not compress.
constexpr std::size_t kLargeSize = std::size_t{48} << 20;

std::string RandomContent(std::size_t size) {
  std::mt19937_64 generator(19);
  std::string content(size, '\0');
  for (std::size_t i = 0; i + 8 <= size; i += 8) {
    const std::uint64_t word = generator();
    std::memcpy(&content[i], &word, 8);
  }
  return content;
}

// The names in a folder, the key ring's own folders left out.
std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

int RowOfKey(WindowProbe& w, const std::string& keyId) {
  const int rows = static_cast<int>(SendMessage(w.item(IDC_KEY_LIST), LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < rows; ++row)
    if (CellText(w, row, 0) == keyId) return row;
  return -1;
}

int BarPosition(WindowProbe& w) {
  return static_cast<int>(SendMessage(w.item(IDC_PROGRESS), PBM_GETPOS, 0, 0));
}

// Runs act once, from the window's event loop, as soon as the operation has moved the bar (to
// at least `from` of its 1000).
struct WhenBarMoves {
  QTimer timer;
  bool acted = false;
  WhenBarMoves(WindowProbe& w, std::function<void()> act, int from = 1) {
    QObject::connect(&timer, &QTimer::timeout, [this, &w, from, act = std::move(act)] {
      if (acted || BarPosition(w) < from) return;
      acted = true;
      act();
    });
    timer.start(2);
  }
};

class OperationWindow : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice", "bob"}}; }

  std::string LargeFile(const std::string& name) {
    const std::string path = ring().path(name);
    WriteFile(path, RandomContent(kLargeSize));
    return path;
  }

  // The file encrypted to bob beside itself; the plain file is removed.
  std::string EncryptedLargeFile(const std::string& name) {
    const std::string plain = LargeFile(name);
    const ProcessResult r =
        ring().gpg({"--trust-model", "always", "-z", "0", "-r", ring().fingerprint("bob"), "-o",
                    plain + ".gpg", "-e", plain});
    EXPECT_EQ(r.exitCode, 0) << r;
    std::filesystem::remove(plain);
    return plain + ".gpg";
  }

  ScriptedDialogs m_dialogs;
};

}  // namespace

TEST_F(OperationWindow, TimersRunWhileALargeFileIsDecrypted) {
  const FileList files{EncryptedLargeFile("big.bin")};
  const std::string plain = ring().path("big.bin");
  WindowProbe w(&files, cmdNone);
  int ticks = 0;
  w.then([&](WindowProbe& p) {
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    ClickRow(p, 0);
    ClickButton(p, IDC_DECRYPT);
    EXPECT_EQ(LogText(p), "Decrypting \"" + files[0] + "\"...\nDone.\n");
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_GT(ticks, 2);
  EXPECT_EQ(std::filesystem::file_size(plain), kLargeSize);
}

TEST_F(OperationWindow, OtherCommandsDuringAnOperationDoNothing) {
  const FileList files{LargeFile("big.bin")};
  WindowProbe w(&files, cmdNone);
  w.then([&](WindowProbe& p) {
    ClickRow(p, 0);
    WhenBarMoves during(p, [&] {
      EXPECT_EQ(GetDlgItemTextString(p.m_hWnd, IDC_CLOSE), "Cancel");
      for (const int id : {IDC_ENCRYPT, IDC_DECRYPT, IDC_IMPORT_KEYS, IDC_CREATE_KEY, IDC_SIGN})
        ClickButton(p, id);
      ClickRow(p, 1, Qt::RightButton);
    });
    ClickButton(p, IDC_ENCRYPT);
    EXPECT_TRUE(during.acted);
    EXPECT_EQ(LogText(p), "Encrypting \"" + files[0] + "\"...\nDone.\n");
    EXPECT_EQ(GetDlgItemTextString(p.m_hWnd, IDC_CLOSE), "Close");
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_TRUE(m_dialogs.asked(ScriptedDialogs::Kind::Open).empty());
  EXPECT_TRUE(m_dialogs.asked(ScriptedDialogs::Kind::PopupMenu).empty());
  EXPECT_TRUE(std::filesystem::exists(files[0] + ".gpg"));
}

// The Close button reads Cancel; the existing output stays as it was, no other file appears,
// the job's file stays in the list, and the window encrypts it at the next press.
TEST_F(OperationWindow, CancelDuringEncryptionKeepsTheOldOutputAndTheWindowGoesOn) {
  const FileList files{LargeFile("big.bin")};
  WriteFile(files[0] + ".gpg", "an older output");
  const std::vector<std::string> before = FilesIn(ring().folder());
  WindowProbe w(&files, cmdNone);
  w.then([&](WindowProbe& p) {
    ClickRow(p, 0);
    WhenBarMoves during(p, [&] { ClickButton(p, IDC_CLOSE); });
    ClickButton(p, IDC_ENCRYPT);
    EXPECT_TRUE(during.acted);
    EXPECT_EQ(LogText(p), "Encrypting \"" + files[0] + "\"...\nCancelled.\n");
    EXPECT_EQ(ReadFile(files[0] + ".gpg"), "an older output");
    EXPECT_EQ(FilesIn(ring().folder()), before);
    EXPECT_EQ(p.files(), files);
    ClickButton(p, IDC_ENCRYPT);
    EXPECT_EQ(LogText(p), "Encrypting \"" + files[0] + "\"...\nCancelled.\nEncrypting \"" +
                              files[0] + "\"...\nDone.\n");
    EXPECT_TRUE(p.files().empty());
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_GT(std::filesystem::file_size(files[0] + ".gpg"), kLargeSize);
}

TEST_F(OperationWindow, EscapeCancelsADecryptionAndTheWindowStaysOpen) {
  const FileList files{EncryptedLargeFile("big.bin")};
  const std::vector<std::string> before = FilesIn(ring().folder());
  WindowProbe w(&files, cmdNone);
  bool stillOpen = false;
  w.then([&](WindowProbe& p) {
    ClickRow(p, 0);
    WhenBarMoves during(p, [&] { PressEscape(p); });
    ClickButton(p, IDC_DECRYPT);
    EXPECT_TRUE(during.acted);
    EXPECT_EQ(LogText(p), "Decrypting \"" + files[0] + "\"...\nCancelled.\n");
    EXPECT_EQ(FilesIn(ring().folder()), before);
    EXPECT_EQ(GetDlgItemTextString(p.m_hWnd, IDC_CLOSE), "Close");
  });
  w.then([&](WindowProbe& p) {
    stillOpen = true;
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_TRUE(stillOpen);
}

// A second Cancel changes nothing; the files after the one cancelled stay for the buttons.
TEST_F(OperationWindow, CancelEndsTheLoopOverFilesAndKeepsTheRest) {
  const FileList files{LargeFile("one.bin"), LargeFile("two.bin")};
  WindowProbe w(&files, cmdNone);
  w.then([&](WindowProbe& p) {
    ClickRow(p, 0);
    WhenBarMoves during(p, [&] {
      ClickButton(p, IDC_CLOSE);
      ClickButton(p, IDC_CLOSE);
    });
    ClickButton(p, IDC_ENCRYPT);
    EXPECT_EQ(LogText(p), "Encrypting \"" + files[0] + "\"...\nCancelled.\n");
    EXPECT_EQ(p.files(), files);
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_FALSE(std::filesystem::exists(files[0] + ".gpg"));
  EXPECT_FALSE(std::filesystem::exists(files[1] + ".gpg"));
}

TEST_F(OperationWindow, TheCloseBoxDuringAnOperationCancelsItThenCloses) {
  const FileList files{LargeFile("big.bin")};
  const std::vector<std::string> before = FilesIn(ring().folder());
  WindowProbe w(&files, cmdNone);
  std::string log;
  w.then([&](WindowProbe& p) {
    ClickRow(p, 0);
    WhenBarMoves during(p, [&] { WindowProbe::Widget(p.m_hWnd)->close(); });
    ClickButton(p, IDC_ENCRYPT);
    log = LogText(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_EQ(log, "Encrypting \"" + files[0] + "\"...\nCancelled.\n");
  EXPECT_EQ(FilesIn(ring().folder()), before);
}

// With two files running at once the bar shows the sum of their shares: it passes the half
// before either output is written, rises steadily and ends full.
TEST_F(OperationWindow, TheBarShowsTheSumOfTheFilesRunningAtOnce) {
  const FileList files{LargeFile("one.bin"), LargeFile("two.bin")};
  ScopedEnv width("ZEMBRA_JOB_WIDTH", "2");
  WindowProbe w(&files, cmdNone);
  std::vector<int> positions;
  std::vector<std::size_t> outputs;  // the outputs written when each position was set
  w.then([&](WindowProbe& p) {
    auto* bar = qobject_cast<QProgressBar*>(WindowProbe::Widget(p.item(IDC_PROGRESS)));
    ASSERT_NE(bar, nullptr);
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) {
      positions.push_back(value);
      outputs.push_back((std::filesystem::exists(files[0] + ".gpg") ? 1u : 0u) +
                        (std::filesystem::exists(files[1] + ".gpg") ? 1u : 0u));
    });
    ClickRow(p, 0);
    ClickButton(p, IDC_ENCRYPT);
    EXPECT_EQ(LogText(p), "Encrypting \"" + files[0] + "\"...\nDone.\nEncrypting \"" + files[1] +
                              "\"...\nDone.\n");
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  ASSERT_FALSE(positions.empty());
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  EXPECT_EQ(positions.back(), 1000);
  EXPECT_TRUE(
      std::any_of(positions.begin(), positions.end(), [](int p) { return p > 0 && p < 500; }));
  bool pastHalfWithNoOutput = false;
  for (std::size_t i = 0; i < positions.size(); ++i)
    pastHalfWithNoOutput = pastHalfWithNoOutput || (positions[i] > 500 && outputs[i] == 0);
  EXPECT_TRUE(pastHalfWithNoOutput);
}

// A command posted during an operation (as a job start is) runs once the operation has ended.
TEST_F(OperationWindow, ACommandPostedDuringAnOperationWaitsForItsEnd) {
  const FileList files{LargeFile("big.bin")};
  WindowProbe w(&files, cmdNone);
  std::size_t askedRightAfter = 1;
  w.then([&](WindowProbe& p) {
    ClickRow(p, 0);
    WhenBarMoves during(p, [&] {
      PostMessage(p.m_hWnd, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(IDC_DECRYPT), 0), 0);
    });
    ClickButton(p, IDC_ENCRYPT);
    EXPECT_TRUE(during.acted);
    askedRightAfter = m_dialogs.asked(ScriptedDialogs::Kind::Open).size();
  });
  w.then([&](WindowProbe& p) {
    // Decrypt found the list empty and asked for files.
    EXPECT_EQ(m_dialogs.asked(ScriptedDialogs::Kind::Open).size(), 1u);
    EXPECT_EQ(LogText(p).rfind("Encrypting \"" + files[0] + "\"...\nDone.\n", 0), 0u);
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_EQ(askedRightAfter, 0u);
}

namespace {

class PassphraseWindow : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice", "secret"}}; }
};

}  // namespace

// Cancel while the passphrase prompt waits for the user: nothing written, and the window
// decrypts the file at the next press once the prompt answers.
TEST_F(PassphraseWindow, CancelWhileThePassphraseIsAskedLeavesNoOutput) {
  const std::string plain = ring().path("letter.txt");
  WriteFile(plain, "for the secret key\n");
  const ProcessResult r = ring().gpg({"--trust-model", "always", "-r", ring().fingerprint("secret"),
                                      "-o", plain + ".gpg", "-e", plain});
  ASSERT_EQ(r.exitCode, 0) << r;
  std::filesystem::remove(plain);
  ring().setPassphrase(kSecretPassphrase);
  const std::string hold = ring().home() + "/pinentry-hold";
  WriteFile(hold, "");
  const FileList files{plain + ".gpg"};
  WindowProbe w(&files, cmdNone);
  w.then([&](WindowProbe& p) {
    ClickRow(p, 0);
    bool cancelled = false;
    QTimer asked;
    QObject::connect(&asked, &QTimer::timeout, [&] {
      if (cancelled || ring().pinentryLog().find("GETPIN") == std::string::npos) return;
      cancelled = true;
      ClickButton(p, IDC_CLOSE);
    });
    asked.start(10);
    ClickButton(p, IDC_DECRYPT);
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(LogText(p), "Decrypting \"" + files[0] + "\"...\nCancelled.\n");
    EXPECT_FALSE(std::filesystem::exists(plain));
    EXPECT_EQ(p.files(), files);
    std::filesystem::remove(hold);
    ClickButton(p, IDC_DECRYPT);
    EXPECT_EQ(ReadFile(plain), "for the secret key\n");
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
}

// Signing, verifying, importing and exporting stop as encrypting does: nothing under the output's
// name, one line, the file kept for the buttons.
TEST_F(OperationWindow, CancelDuringSigningLeavesNoSignedFile) {
  const FileList files{LargeFile("big.bin")};
  const std::vector<std::string> before = FilesIn(ring().folder());
  WindowProbe w(&files, cmdNone);
  w.then([&](WindowProbe& p) {
    ClickRow(p, 0);
    WhenBarMoves during(p, [&] { ClickButton(p, IDC_CLOSE); });
    ClickButton(p, IDC_SIGN);
    EXPECT_TRUE(during.acted);
    EXPECT_EQ(LogText(p), "Signing \"" + files[0] + "\"...\nCancelled.\n");
    EXPECT_EQ(p.files(), files);
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_EQ(FilesIn(ring().folder()), before);
}

TEST_F(OperationWindow, CancelDuringVerificationLeavesNoVerifiedFile) {
  const std::string plain = LargeFile("big.bin");
  const ProcessResult r = ring().gpg(
      {"-z", "0", "-u", ring().fingerprint("alice"), "-o", plain + ".signed.gpg", "--sign", plain});
  ASSERT_EQ(r.exitCode, 0) << r;
  std::filesystem::remove(plain);
  const FileList files{plain + ".signed.gpg"};
  const std::vector<std::string> before = FilesIn(ring().folder());
  WindowProbe w(&files, cmdNone);
  w.then([&](WindowProbe& p) {
    ClickRow(p, 0);
    WhenBarMoves during(p, [&] { PressEscape(p); });
    ClickButton(p, IDC_VERIFY);
    EXPECT_TRUE(during.acted);
    EXPECT_EQ(LogText(p), "Verifying \"" + files[0] + "\"...\nCancelled.\n");
    EXPECT_EQ(p.files(), files);
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_EQ(FilesIn(ring().folder()), before);
}

// gpg writes each key to the ring as it goes: the line says how many the ring kept, and the
// list shows them.
TEST_F(OperationWindow, CancelDuringAnImportSaysHowManyKeysTheRingTook) {
  const ProcessResult unpacked = RunProcess({"xz", "-dc", TestKeyFolder() + "/ring1000.pgp.xz"});
  ASSERT_EQ(unpacked.exitCode, 0) << unpacked;
  const std::string path = ring().path("ring1000.pgp");
  WriteFile(path, unpacked.out);
  ScriptedDialogs dialogs;
  dialogs.answerOpen({path});
  std::string log;
  int rows = 0;
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    WhenBarMoves during(
        p, [&] { ClickButton(p, IDC_CLOSE); }, 300);
    ClickButton(p, IDC_IMPORT_KEYS);
    EXPECT_TRUE(during.acted);
    log = LogText(p);
    rows = static_cast<int>(SendMessage(p.item(IDC_KEY_LIST), LVM_GETITEMCOUNT, 0, 0));
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  const int inRing = static_cast<int>(ring().publicFingerprints().size());
  const int taken = inRing - 2;
  EXPECT_GT(taken, 0);
  EXPECT_LT(taken, 1000);
  EXPECT_EQ(log, "Importing keys from \"" + path +
                     "\"\nCancelled. The key ring had already taken " + std::to_string(taken) +
                     " keys from the file.\n");
  EXPECT_EQ(rows, inRing);
}

namespace {

// What a window showed after importing a thousand keys into ring: the rows before, during the
// listing that follows (after the import's counts reached the log) and after it, and the log.
struct RingReadAgain {
  int before = 0, turnsWhileRead = 0, rows = 0;
  std::string log;
};

// cancel: the first turn of the window's loop during that listing presses Cancel.
RingReadAgain ImportAThousandKeys(KeyRing& ring, bool cancel) {
  const ProcessResult unpacked = RunProcess({"xz", "-dc", TestKeyFolder() + "/ring1000.pgp.xz"});
  EXPECT_EQ(unpacked.exitCode, 0) << unpacked;
  const std::string path = ring.path("ring1000.pgp");
  WriteFile(path, unpacked.out);
  ScriptedDialogs dialogs;
  dialogs.answerOpen({path});
  RingReadAgain seen;
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    const HWND list = p.item(IDC_KEY_LIST);
    seen.before = static_cast<int>(SendMessage(list, LVM_GETITEMCOUNT, 0, 0));
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
      const bool counted = LogText(p).find("Imported keys: ") != std::string::npos;
      if (!counted || SendMessage(list, LVM_GETITEMCOUNT, 0, 0) != seen.before) return;
      if (++seen.turnsWhileRead == 1 && cancel) ClickButton(p, IDC_CLOSE);
    });
    timer.start(1);
    ClickButton(p, IDC_IMPORT_KEYS);
    seen.log = LogText(p);
    seen.rows = static_cast<int>(SendMessage(list, LVM_GETITEMCOUNT, 0, 0));
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  return seen;
}

}  // namespace

// A large ring is read again after an import on the operations loop: the window's timers run
// while the import's counts are in the log and the rows are still the old ones, which then give
// way to the whole ring at once.
TEST_F(OperationWindow, TheWindowServesItsEventsWhileTheRingIsReadAgainAfterAnImport) {
  const RingReadAgain seen = ImportAThousandKeys(ring(), false);
  EXPECT_GT(seen.turnsWhileRead, 0);
  EXPECT_NE(seen.log.find("Imported keys: 1000\n"), std::string::npos) << seen.log;
  EXPECT_EQ(seen.rows, static_cast<int>(ring().publicFingerprints().size()));
}

TEST_F(OperationWindow, CancelWhileTheRingIsReadAgainKeepsTheOldRows) {
  const RingReadAgain seen = ImportAThousandKeys(ring(), true);
  EXPECT_GT(seen.turnsWhileRead, 0);
  EXPECT_TRUE(seen.log.ends_with("\nCancelled.\n")) << seen.log;
  EXPECT_EQ(seen.rows, seen.before);
}

TEST_F(PassphraseWindow, CancelWhileTheExportAsksThePassphraseLeavesNoFile) {
  ring().setPassphrase(kSecretPassphrase);
  const std::string hold = ring().home() + "/pinentry-hold";
  WriteFile(hold, "");
  const std::string path = ring().path("secret-key");
  ScriptedDialogs dialogs;
  dialogs.answerSave(path, [](HWND panel) { ClickControl(panel, IDC_EXPORT_SECRET); });
  const std::vector<std::string> before = FilesIn(ring().folder());
  std::string log;
  WindowProbe w(nullptr, cmdNone);
  w.then([&](WindowProbe& p) {
    ClickRow(p, RowOfKey(p, ring().keyId("secret")));
    bool cancelled = false;
    QTimer asked;
    QObject::connect(&asked, &QTimer::timeout, [&] {
      if (cancelled || ring().pinentryLog().find("GETPIN") == std::string::npos) return;
      cancelled = true;
      ClickButton(p, IDC_CLOSE);
    });
    asked.start(10);
    ClickButton(p, IDC_EXPORT_KEYS);
    EXPECT_TRUE(cancelled);
    log = LogText(p);
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  std::filesystem::remove(hold);
  EXPECT_EQ(log, "Exporting key(s) to \"" + path + ".asc\"\nCancelled.\n");
  EXPECT_EQ(FilesIn(ring().folder()), before);
}
