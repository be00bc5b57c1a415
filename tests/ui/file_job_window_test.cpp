// The window's file buttons run several files at once: the log and the files written are those
// of the same job run one file at a time (ZEMBRA_JOB_WIDTH=1), and Cancel stops every file.
#include <gtest/gtest.h>

#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "tests/support/key_ring.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_env.h"
#include "tests/ui/window_actions.h"
#include "tests/ui/window_probe.h"

namespace fs = std::filesystem;

namespace {

class FileJobWindow : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice", "bob"}}; }

  std::string Path(const std::string& name) { return ring().path("job/" + name); }

  void Encrypted(const std::string& name, const std::string& content) {
    const std::string plain = Path(name + ".plain");
    WriteFile(plain, content);
    const ProcessResult r = ring().gpg({"--trust-model", "always", "-z", "0", "-r",
                                        ring().fingerprint("bob"), "-o", Path(name), "-e", plain});
    ASSERT_EQ(r.exitCode, 0) << r;
    fs::remove(plain);
  }

  void Signed(const std::string& name, const std::string& content) {
    const std::string plain = Path(name + ".plain");
    WriteFile(plain, content);
    const ProcessResult r =
        ring().gpg({"-u", ring().fingerprint("alice"), "-o", Path(name), "-s", plain});
    ASSERT_EQ(r.exitCode, 0) << r;
    fs::remove(plain);
  }

  // A folder of good, broken, missing and clashing messages, made afresh.
  FileList MakeJob() {
    fs::remove_all(ring().path("job"));
    fs::create_directory(ring().path("job"));
    Encrypted("a.gpg", RandomBytes(std::size_t{3} << 20));
    WriteFile(Path("broken.gpg"), "no message");
    Encrypted("b.gpg", RandomBytes(100 << 10));
    Encrypted("c.gpg", RandomBytes(std::size_t{1} << 20));
    Encrypted("c.GPG", "the second c");
    WriteFile(Path("d"), "exists");
    Encrypted("d.gpg", "d");
    return {Path("a.gpg"), Path("broken.gpg"), Path("missing.gpg"), Path("b.gpg"),
            Path("c.gpg"), Path("c.GPG"),      Path("d.gpg")};
  }

  // Processes the job as the launcher's automatic job does, that many files at once.
  std::pair<std::string, FileList> AutoProcess(const FileList& files, const char* width) {
    ScopedEnv env("ZEMBRA_JOB_WIDTH", width);
    WindowProbe w(&files, cmdAuto);
    std::pair<std::string, FileList> seen;
    w.then([&](WindowProbe& p) {
      seen = {LogText(p), p.files()};
      PressEscape(p);
    });
    EXPECT_EQ(w.DoModal(), IDCANCEL);
    return seen;
  }

  // Signs a folder of files with the first key through the Sign button, then verifies what it
  // wrote through the Verify button, that many files at once; the logs and the folder.
  std::pair<std::string, std::vector<std::string>> SignAndVerify(const char* width) {
    fs::remove_all(ring().path("job"));
    fs::create_directory(ring().path("job"));
    FileList plain;
    for (const char* name : {"a", "b", "c", "d"}) {
      WriteFile(Path(name), RandomBytes(std::size_t{512} << 10));
      plain.push_back(Path(name));
    }
    plain.insert(plain.begin() + 1, Path("missing"));
    ScopedEnv env("ZEMBRA_JOB_WIDTH", width);
    std::string log = Press(plain, IDC_SIGN);
    // The plain files go, so that each verification writes its content back.
    FileList signedFiles;
    for (const std::string& f : plain) {
      fs::remove(f);
      signedFiles.push_back(f + ".signed.gpg");
    }
    log += Press(signedFiles, IDC_VERIFY);
    return {log, FolderNames(ring().path("job"))};
  }

  // A window on files whose button is pressed with the first key chosen; its log.
  std::string Press(const FileList& files, int button) {
    WindowProbe w(&files, cmdNone);
    std::string log;
    w.then([&](WindowProbe& p) {
      ClickRow(p, 0);
      ClickButton(p, button);
      EXPECT_EQ(p.files(), FileList{});
      log = LogText(p);
      PressEscape(p);
    });
    EXPECT_EQ(w.DoModal(), IDCANCEL);
    return log;
  }

  // Decrypts the job through the button with that many files at once; the log and what the
  // folder holds afterwards.
  std::pair<std::string, std::vector<std::string>> Decrypt(const char* width) {
    const FileList files = MakeJob();
    ScopedEnv env("ZEMBRA_JOB_WIDTH", width);
    WindowProbe w(&files, cmdNone);
    std::string log;
    w.then([&](WindowProbe& p) {
      ClickRow(p, 0);
      ClickButton(p, IDC_DECRYPT);
      log = LogText(p);
      EXPECT_EQ(p.files(), FileList{});
      PressEscape(p);
    });
    EXPECT_EQ(w.DoModal(), IDCANCEL);
    return {log, FolderNames(ring().path("job"))};
  }
};

}  // namespace

TEST_F(FileJobWindow, TheDecryptButtonLogsAJobAsASerialRunDoes) {
  const auto serial = Decrypt("1");
  const std::string first = ReadFile(Path("c"));
  const auto parallel = Decrypt("4");
  EXPECT_EQ(parallel.first, serial.first);
  EXPECT_EQ(parallel.second, serial.second);
  EXPECT_EQ(ReadFile(Path("c")), first);
  EXPECT_EQ(ReadFile(Path("d")), "exists");
}

TEST_F(FileJobWindow, TheSignAndVerifyButtonsLogAJobAsASerialRunDoes) {
  const auto serial = SignAndVerify("1");
  const auto parallel = SignAndVerify("4");
  EXPECT_EQ(parallel.first, serial.first);
  EXPECT_EQ(parallel.second, serial.second);
  EXPECT_EQ(std::count(serial.second.begin(), serial.second.end(), "c"), 1) << serial.first;
  EXPECT_EQ(ReadFile(Path("c")).size(), std::size_t{512} << 10);
}

// The decryptions and verifications of an automatic job run at once between its imports; the
// log and the files are those of a serial run.
TEST_F(FileJobWindow, AnAutomaticJobLogsAsASerialRunDoes) {
  const auto make = [&] {
    FileList files = MakeJob();
    WriteFile(Path("notes.txt"), "waits for Encrypt");
    WriteFile(Path("s.signed.gpg"), "no signed message");
    Signed("g.signed.gpg", RandomBytes(std::size_t{1} << 20));
    files.insert(files.begin() + 2, Path("notes.txt"));
    files.insert(files.begin() + 4, Path("s.signed.gpg"));
    files.insert(files.begin() + 5, Path("g.signed.gpg"));
    return files;
  };
  const auto serial = AutoProcess(make(), "1");
  const std::vector<std::string> serialNames = FolderNames(ring().path("job"));
  const auto parallel = AutoProcess(make(), "4");
  EXPECT_EQ(parallel.first, serial.first);
  EXPECT_EQ(parallel.second, serial.second);
  EXPECT_EQ(parallel.second, FileList{Path("notes.txt")});
  EXPECT_EQ(FolderNames(ring().path("job")), serialNames);
  EXPECT_NE(serial.first.find("Verifying"), std::string::npos) << serial.first;
  EXPECT_EQ(ReadFile(Path("g")).size(), std::size_t{1} << 20);
}

// Every running file stops; one line says so; no output or temporary file is left and every
// file stays in the list.
TEST_F(FileJobWindow, CancelStopsEveryRunningFileAndKeepsThemAll) {
  fs::create_directory(ring().path("job"));
  FileList files;
  for (const char* name : {"one.gpg", "two.gpg", "three.gpg"}) {
    Encrypted(name, RandomBytes(std::size_t{16} << 20));
    files.push_back(Path(name));
  }
  const std::vector<std::string> before = FolderNames(ring().path("job"));
  ScopedEnv env("ZEMBRA_JOB_WIDTH", "3");
  WindowProbe w(&files, cmdNone);
  w.then([&](WindowProbe& p) {
    QTimer timer;
    bool clicked = false;
    QObject::connect(&timer, &QTimer::timeout, [&] {
      const int position = static_cast<int>(SendMessage(p.item(IDC_PROGRESS), PBM_GETPOS, 0, 0));
      if (clicked || position < 30) return;
      clicked = true;
      ClickButton(p, IDC_CLOSE);
    });
    timer.start(2);
    ClickRow(p, 0);
    ClickButton(p, IDC_DECRYPT);
    EXPECT_TRUE(clicked);
    EXPECT_EQ(LogText(p), "Decrypting \"" + files[0] + "\"...\nCancelled.\n");
    EXPECT_EQ(p.files(), files);
    PressEscape(p);
  });
  EXPECT_EQ(w.DoModal(), IDCANCEL);
  EXPECT_EQ(FolderNames(ring().path("job")), before);
}
