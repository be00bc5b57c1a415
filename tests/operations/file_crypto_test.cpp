// Encrypting and decrypting single files, called with a context, a path and a progress sink,
// against a real GnuPG.
#include <fcntl.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <random>

#include <gtest/gtest.h>

#include "platform/core/files.h"
#include "platform/core/text.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_env.h"
#include "tests/support/without_dac_override.h"
#include "zembra/keys/key_list.h"

namespace {

// Turns a test's file names into what the log shows for them.
std::string Quoted(const std::string& path) { return "\"" + DisplayText(path) + "\""; }

class FileCrypto : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice", "bob", "signer"}}; }
  void SetUp() override {
    KeyRingTest::SetUp();
    alice = ring().fingerprint("alice");
    bob = ring().fingerprint("bob");
    signer = ring().fingerprint("signer");  // cannot encrypt
  }

  // Runs body with the operations on a context on the test's home; log is what they wrote.
  void Run(const std::function<void(FileOps&)>& body) {
    LogCapture capture;
    FileOps ops;
    body(ops);
    log = capture.text();
  }

  // The keys as an operation gets them, kept alive by handles.
  CKeyArray Keys(const std::vector<std::string>& fprs) {
    GpgmeContext ctx = OpenEngineContext();
    std::vector<gpgme_key_t> keys;
    for (const std::string& fpr : fprs) {
      gpgme_key_t key = nullptr;
      EXPECT_EQ(gpgme_get_key(ctx.get(), fpr.c_str(), &key, 0), 0) << fpr;
      handles.push_back(CKeyHandle::Adopt(key));
      keys.push_back(key);
    }
    return CKeyArray(keys);
  }

  // Encrypts with the gpg program, as someone else would have.
  void GpgEncrypt(const std::string& in, const std::string& out, const std::string& to,
                  const std::vector<std::string>& more = {}) {
    std::vector<std::string> args = {"--trust-model", "always", "-r", to, "-o", out};
    args.insert(args.end(), more.begin(), more.end());
    args.insert(args.end(), {"-e", in});
    ProcessResult encrypted = ring().gpg(args);
    ASSERT_EQ(encrypted.exitCode, 0) << encrypted;
  }
  // What gpg makes of a message.
  std::string GpgDecrypt(const std::string& path) { return ring().gpg({"-d", path}).out; }

  std::string EncryptingLine(const std::string& path) {
    return "Encrypting " + Quoted(path) + "...\n";
  }
  std::string DecryptingLine(const std::string& path) {
    return "Decrypting " + Quoted(path) + "...\n";
  }

  TempFolder files;
  std::string alice, bob, signer;
  CKeyHandleArray handles;
  std::string log;
};

TEST_F(FileCrypto, EncryptsToTwoKeysAsBinaryAndSaysDone) {
  const std::string a = files.path("a.txt");
  WriteFile(a, "attack at dawn\n");
  CKeyArray keys = Keys({alice, bob});
  int progress = 0;
  Run([&](FileOps& w) {
    gpgme_set_armor(w.ctx.get(), 1);  // left on by an earlier operation
    w.Encrypt(a, keys.keys());
    progress = w.record.last();
  });
  EXPECT_EQ(progress, 1000);  // the bar followed the engine's reading to the end
  EXPECT_EQ(log, EncryptingLine(a) + "Done.\n");
  const std::string out = ReadFile(a + ".gpg");
  ASSERT_FALSE(out.empty());
  EXPECT_TRUE(static_cast<unsigned char>(out[0]) & 0x80);
  EXPECT_NE(out.rfind("-----BEGIN", 0), 0u);
  const std::string packets = ring().gpg({"--list-packets", a + ".gpg"}).out;
  std::size_t recipients = 0;
  for (std::size_t at = packets.find(":pubkey enc packet:"); at != std::string::npos;
       at = packets.find(":pubkey enc packet:", at + 1))
    ++recipients;
  EXPECT_EQ(recipients, 2u);
  EXPECT_EQ(GpgDecrypt(a + ".gpg"), "attack at dawn\n");
  EXPECT_EQ(FolderNames(files.path()), (std::vector<std::string>{"a.txt", "a.txt.gpg"}));
}

TEST_F(FileCrypto, EncryptReplacesAnExistingOutputWithoutAWord) {
  const std::string a = files.path("a.txt");
  WriteFile(a, "new text");
  WriteFile(a + ".gpg", "an older encryption");
  CKeyArray keys = Keys({alice});
  Run([&](FileOps& w) { w.Encrypt(a, keys.keys()); });
  EXPECT_EQ(log, EncryptingLine(a) + "Done.\n");
  EXPECT_EQ(GpgDecrypt(a + ".gpg"), "new text");
  EXPECT_EQ(FolderNames(files.path()), (std::vector<std::string>{"a.txt", "a.txt.gpg"}));
}

TEST_F(FileCrypto, FailedEncryptionKeepsTheExistingOutput) {
  const std::string a = files.path("a.txt");
  WriteFile(a, "new text");
  WriteFile(a + ".gpg", "an older encryption");
  CKeyArray keys = Keys({signer});  // cannot encrypt: the engine refuses
  Run([&](FileOps& w) { w.Encrypt(a, keys.keys()); });
  EXPECT_EQ(log.rfind(EncryptingLine(a) + "Error: ", 0), 0u) << log;
  EXPECT_EQ(log.back(), '\n');
  EXPECT_EQ(ReadFile(a + ".gpg"), "an older encryption");
  EXPECT_EQ(FolderNames(files.path()), (std::vector<std::string>{"a.txt", "a.txt.gpg"}));
}

TEST_F(FileCrypto, FailedEncryptionLeavesNoOutput) {
  const std::string a = files.path("a.txt");
  WriteFile(a, "text");
  CKeyArray keys = Keys({signer});
  Run([&](FileOps& w) { w.Encrypt(a, keys.keys()); });
  EXPECT_EQ(log.rfind(EncryptingLine(a) + "Error: ", 0), 0u) << log;
  EXPECT_EQ(FolderNames(files.path()), (std::vector<std::string>{"a.txt"}));
}

TEST_F(FileCrypto, DecryptNamesTheOutputByTheEnding) {
  const std::string plain = files.path("plain");
  WriteFile(plain, "the plaintext\n");
  const std::string upper = files.path("A.TXT.GPG"), pgp = files.path("a.pgp"),
                    signedGpg = files.path("b.SIGNED.GPG");
  for (const std::string& p : {upper, pgp, signedGpg}) GpgEncrypt(plain, p, alice);
  Run([&](FileOps& w) {
    w.Decrypt(upper);
    w.Decrypt(pgp);
    w.Decrypt(signedGpg);
  });
  EXPECT_EQ(log, DecryptingLine(upper) + "Done.\n" + DecryptingLine(pgp) + "Done.\n" +
                     DecryptingLine(signedGpg) + "Done.\n");
  EXPECT_EQ(ReadFile(files.path("A.TXT")), "the plaintext\n");
  EXPECT_EQ(ReadFile(files.path("a.pgp.decrypted")), "the plaintext\n");
  EXPECT_EQ(ReadFile(files.path("b")), "the plaintext\n");
  EXPECT_EQ(FolderNames(files.path()),
            (std::vector<std::string>{"A.TXT", "A.TXT.GPG", "a.pgp", "a.pgp.decrypted", "b",
                                      "b.SIGNED.GPG", "plain"}));
}

TEST_F(FileCrypto, DecryptReadsArmoredInputToo) {
  const std::string plain = files.path("plain");
  WriteFile(plain, "armored\n");
  GpgEncrypt(plain, files.path("m.asc.gpg"), alice, {"--armor"});
  Run([&](FileOps& w) { w.Decrypt(files.path("m.asc.gpg")); });
  EXPECT_EQ(log, DecryptingLine(files.path("m.asc.gpg")) + "Done.\n");
  EXPECT_EQ(ReadFile(files.path("m.asc")), "armored\n");
}

TEST_F(FileCrypto, DecryptNeverReplacesAnExistingFile) {
  const std::string a = files.path("a.txt");
  WriteFile(files.path("plain"), "secret");
  GpgEncrypt(files.path("plain"), a + ".gpg", alice);
  WriteFile(a, "my own file");
  Run([&](FileOps& w) { w.Decrypt(a + ".gpg"); });
  EXPECT_EQ(log, "File already exists: " + Quoted(a) + "\n");
  EXPECT_EQ(ReadFile(a), "my own file");
  EXPECT_EQ(FolderNames(files.path()), (std::vector<std::string>{"a.txt", "a.txt.gpg", "plain"}));
}

// A link at the output name that points nowhere is not "a file that exists" to a plain
// existence check; writing through it would create the file it points at.
TEST_F(FileCrypto, DecryptNeverWritesThroughALinkAtTheOutputName) {
  const std::string a = files.path("a.txt");
  WriteFile(files.path("plain"), "secret");
  GpgEncrypt(files.path("plain"), a + ".gpg", alice);
  TempFolder elsewhere;
  const std::string pointedAt = elsewhere.path("victim");
  ASSERT_EQ(symlink(pointedAt.c_str(), a.c_str()), 0);
  Run([&](FileOps& w) { w.Decrypt(a + ".gpg"); });
  EXPECT_EQ(log, DecryptingLine(a + ".gpg") + "File already exists: " + Quoted(a) + "\n");
  EXPECT_FALSE(Exists(pointedAt));
  char target[256] = {};
  EXPECT_EQ(readlink(a.c_str(), target, sizeof target - 1), static_cast<ssize_t>(pointedAt.size()));
  EXPECT_EQ(FolderNames(files.path()), (std::vector<std::string>{"a.txt", "a.txt.gpg", "plain"}));
}

TEST_F(FileCrypto, DecryptKeepsAFileThatTookTheOutputNameMeanwhile) {
  const std::string a = files.path("a.txt");
  WriteFile(files.path("plain"), RandomBytes(100000));
  GpgEncrypt(files.path("plain"), a + ".gpg", alice);
  Run([&](FileOps& w) {
    // The engine is reading the message: the name was free when Decrypt looked, now it is not.
    w.progress = [&](int) {
      if (!Exists(a)) WriteFile(a, "arrived meanwhile");
    };
    w.Decrypt(a + ".gpg");
  });
  EXPECT_EQ(log, DecryptingLine(a + ".gpg") + "File already exists: " + Quoted(a) + "\n");
  EXPECT_EQ(ReadFile(a), "arrived meanwhile");
  EXPECT_EQ(FolderNames(files.path()), (std::vector<std::string>{"a.txt", "a.txt.gpg", "plain"}));
}

// Decryption that fails says so after its start line and leaves no output at all: no empty
// file, no partial plaintext, no temporary file.
TEST_F(FileCrypto, FailedDecryptionLeavesNothingBehind) {
  WriteFile(files.path("big"), RandomBytes(1 << 20));
  GpgEncrypt(files.path("big"), files.path("whole.gpg"), alice);
  const std::string whole = ReadFile(files.path("whole.gpg"));
  // Carol's key is not in the ring.
  WriteFile(files.path("for-carol"), "not for us");
  ProcessResult toCarol =
      ring().gpg({"--trust-model", "always", "-f", TestKeyFolder() + "/carol.pub.asc", "-o",
                  files.path("carol.gpg"), "-e", files.path("for-carol")});
  ASSERT_EQ(toCarol.exitCode, 0) << toCarol;
  const std::string forStranger = ReadFile(files.path("carol.gpg"));
  // Without integrity protection (no MDC) the engine refuses the message, after it may already
  // have written plaintext nobody can vouch for.
  GpgEncrypt(files.path("big"), files.path("no-mdc.gpg"), alice, {"--rfc2440"});
  const std::string withoutMdc = ReadFile(files.path("no-mdc.gpg"));

  struct Case {
    std::string name;
    std::string bytes;
  };
  const Case cases[] = {
      {"not-openpgp.gpg", "This is plain text, not an OpenPGP message.\n"},
      {"empty.gpg", ""},
      {"truncated.gpg", whole.substr(0, whole.size() / 2)},
      {"other-key.gpg", forStranger},
      {"no-mdc.gpg", withoutMdc},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    const std::string path = folder.path(c.name);
    WriteFile(path, c.bytes);
    Run([&](FileOps& w) { w.Decrypt(path); });
    EXPECT_EQ(log.rfind(DecryptingLine(path) + "Error: ", 0), 0u) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
    EXPECT_EQ(FolderNames(folder.path()), std::vector<std::string>{c.name});
  }
}

TEST_F(FileCrypto, FullDiskLeavesNothingAndKeepsTheOldOutput) {
  const std::string a = files.path("a.txt");
  WriteFile(a, RandomBytes(1 << 20));
  WriteFile(a + ".gpg", "an older encryption");
  GpgEncrypt(a, files.path("m.gpg"), alice);
  CKeyArray keys = Keys({alice});

  // Writes past 64 KiB fail as on a full disk.
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  auto savedSignal = signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 64 * 1024;
  Run([&](FileOps& w) {
    setrlimit(RLIMIT_FSIZE, &small);
    w.Encrypt(a, keys.keys());
    w.Decrypt(files.path("m.gpg"));
    setrlimit(RLIMIT_FSIZE, &saved);
  });
  signal(SIGXFSZ, savedSignal);

  const std::size_t decrypting = log.find(DecryptingLine(files.path("m.gpg")));
  ASSERT_NE(decrypting, std::string::npos) << log;
  EXPECT_EQ(log.rfind(EncryptingLine(a) + "Error: ", 0), 0u) << log;
  const std::string decryptFailed = DecryptingLine(files.path("m.gpg")) + "Error: ";
  EXPECT_EQ(log.substr(decrypting, decryptFailed.size()), decryptFailed) << log;
  EXPECT_EQ(ReadFile(a + ".gpg"), "an older encryption");
  EXPECT_EQ(FolderNames(files.path()), (std::vector<std::string>{"a.txt", "a.txt.gpg", "m.gpg"}));
}

// Names are bytes: blanks, quotes, percent signs, line feeds, a leading dash and bytes that are
// not UTF-8 go through both operations, and the log shows every name.
TEST_F(FileCrypto, OddFileNamesRoundTrip) {
  const std::string names[] = {"a b.txt", "quo\"te'.txt",    "100%s%d%%.txt",    "line\nfeed.txt",
                               "-rf",     "bad\xff\xfe.txt", "J\xc3\xbcrgen.txt"};
  CKeyArray keys = Keys({alice});
  for (const std::string& name : names) {
    SCOPED_TRACE(DisplayText(name));
    const std::string path = files.path(name);
    WriteFile(path, "content of " + name);
    Run([&](FileOps& w) { w.Encrypt(path, keys.keys()); });
    EXPECT_EQ(log, EncryptingLine(path) + "Done.\n");
    EXPECT_TRUE(IsValidUtf8(log));
    ASSERT_EQ(std::remove(path.c_str()), 0);
    Run([&](FileOps& w) { w.Decrypt(path + ".gpg"); });
    EXPECT_EQ(log, DecryptingLine(path + ".gpg") + "Done.\n");
    EXPECT_EQ(ReadFile(path), "content of " + name);
  }
  // The bytes that are not UTF-8 are shown, not dropped.
  EXPECT_NE(DisplayText("bad\xff\xfe.txt").find("\\x"), std::string::npos);
  EXPECT_EQ(FolderNames(files.path()).size(), 2 * std::size(names));
}

// An input that cannot be opened writes one line with its name and the reason, and nothing is
// created; a job over a list of missing paths used to write nothing about them.
TEST_F(FileCrypto, UnopenableInputsAreReportedOneLineEach) {
  CKeyArray keys = Keys({alice});
  const std::string missing = files.path("missing.txt");
  const std::string folder = files.path("folder.gpg");
  mkdir(folder.c_str(), 0700);
  Run([&](FileOps& w) {
    w.Encrypt(missing, keys.keys());
    w.Decrypt(missing + ".gpg");
    w.Encrypt(folder, keys.keys());
    w.Decrypt(folder);
  });
  EXPECT_EQ(log, "Error: cannot open \"" + missing +
                     "\": No such file or directory\n"
                     "Error: cannot open \"" +
                     missing +
                     ".gpg\": No such file or directory\n"
                     "Error: cannot open \"" +
                     folder +
                     "\": Is a directory\n"
                     "Error: cannot open \"" +
                     folder + "\": Is a directory\n");
  EXPECT_EQ(FolderNames(files.path()), std::vector<std::string>{"folder.gpg"});
}

TEST_F(FileCrypto, InputWithoutReadPermissionIsReported) {
  CKeyArray keys = Keys({alice});
  const std::string a = files.path("a.txt");
  WriteFile(a, "private");
  GpgEncrypt(a, files.path("m.gpg"), alice);
  chmod(a.c_str(), 0);
  chmod((files.path("m.gpg")).c_str(), 0);
  bool denied = false;
  Run([&](FileOps& w) {
    // Root reads anything; without that right it is held to the permission bits like anyone.
    WithoutDacOverride asUser;
    denied = open(a.c_str(), O_RDONLY | O_CLOEXEC) < 0 && errno == EACCES;
    if (!denied) return;
    w.Encrypt(a, keys.keys());
    w.Decrypt(files.path("m.gpg"));
  });
  if (!denied) GTEST_SKIP() << "permission bits cannot be enforced for this user";
  EXPECT_EQ(log, "Error: cannot open \"" + a +
                     "\": Permission denied\n"
                     "Error: cannot open \"" +
                     files.path("m.gpg") + "\": Permission denied\n");
  EXPECT_EQ(FolderNames(files.path()), (std::vector<std::string>{"a.txt", "m.gpg"}));
}

// Another Zembra process writing the file holds an exclusive lock on it: the input is skipped,
// and the log says why.
TEST_F(FileCrypto, InputLockedForWritingIsReported) {
  CKeyArray keys = Keys({alice});
  const std::string a = files.path("a.txt");
  WriteFile(a, "being written");
  GpgEncrypt(a, files.path("m.gpg"), alice);
  int ready[2], release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t writer = fork();
  if (writer == 0) {
    close(ready[0]);
    close(release[1]);
    int fds[2] = {open(a.c_str(), O_RDWR), open((files.path("m.gpg")).c_str(), O_RDWR)};
    for (int fd : fds) {
      struct flock lock {};
      lock.l_type = F_WRLCK;
      lock.l_whence = SEEK_SET;
      if (fd < 0 || fcntl(fd, F_OFD_SETLK, &lock) != 0) _exit(1);
    }
    char c = 'x';
    if (write(ready[1], &c, 1) != 1) _exit(1);
    while (read(release[0], &c, 1) > 0) {
    }
    _exit(0);
  }
  close(ready[1]);
  close(release[0]);
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  Run([&](FileOps& w) {
    w.Encrypt(a, keys.keys());
    w.Decrypt(files.path("m.gpg"));
  });
  close(release[1]);
  close(ready[0]);
  int status = 0;
  waitpid(writer, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(log, "Error: cannot open \"" + a +
                     "\": Device or resource busy\n"
                     "Error: cannot open \"" +
                     files.path("m.gpg") + "\": Device or resource busy\n");
  EXPECT_EQ(FolderNames(files.path()), (std::vector<std::string>{"a.txt", "m.gpg"}));
}

TEST(CommittedOutputNoReplace, CommitsWhileTheNameIsFree) {
  TempFolder folder;
  const std::string target = folder.path("out");
  CommittedOutput output(target);
  ASSERT_TRUE(output.Open());
  ASSERT_EQ(write(output.fd(), "new", 3), 3);
  EXPECT_TRUE(output.CommitNoReplace());
  EXPECT_EQ(ReadFile(target), "new");
  EXPECT_EQ(FolderNames(folder.path()), std::vector<std::string>{"out"});
}

TEST(CommittedOutputNoReplace, KeepsAFileThatTookTheNameAfterOpening) {
  TempFolder folder;
  const std::string target = folder.path("out");
  {
    CommittedOutput output(target);
    ASSERT_TRUE(output.Open());
    ASSERT_EQ(write(output.fd(), "new", 3), 3);
    WriteFile(target, "existing");
    errno = 0;
    EXPECT_FALSE(output.CommitNoReplace());
    EXPECT_EQ(errno, EEXIST);
  }
  EXPECT_EQ(ReadFile(target), "existing");
  EXPECT_EQ(FolderNames(folder.path()), std::vector<std::string>{"out"});
}

// An output that cannot be created says so, with its name and the system's reason; the input
// and the folder stay as they were.
TEST_F(FileCrypto, OutputThatCannotBeCreatedIsReportedWithItsReason) {
  CKeyArray keys = Keys({alice});
  const std::string a = files.path("a.txt");
  WriteFile(a, "kept");
  GpgEncrypt(a, files.path("m.gpg"), alice);
  chmod(files.path().c_str(), 0555);
  bool denied = false;
  Run([&](FileOps& w) {
    WithoutDacOverride asUser;
    const std::string probe = files.path("probe");
    const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    denied = fd < 0 && errno == EACCES;
    if (!denied) {
      if (fd >= 0) {
        close(fd);
        unlink(probe.c_str());
      }
      return;
    }
    w.Encrypt(a, keys.keys());
    w.Decrypt(files.path("m.gpg"));
  });
  chmod(files.path().c_str(), 0755);
  if (!denied) GTEST_SKIP() << "permission bits cannot be enforced for this user";
  EXPECT_EQ(log, "Error: cannot create " + Quoted(a + ".gpg") +
                     ": Permission denied\n"
                     "Error: cannot create " +
                     Quoted(files.path("m")) + ": Permission denied\n");
  EXPECT_EQ(ReadFile(a), "kept");
  EXPECT_EQ(FolderNames(files.path()), (std::vector<std::string>{"a.txt", "m.gpg"}));
}

}  // namespace
