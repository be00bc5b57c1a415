// Signing and verifying files: the names, what gpg makes of the output, and that a failed or
// unauthenticated run leaves nothing under the output name.
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/log_capture.h"
#include "tests/support/progress_record.h"
#include "tests/support/test_env.h"
#include "zembra/operations/file_signing.h"
#include "zembra/operations/signers.h"

namespace {

class FileSigning : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice", "bob", "secret"}}; }

  // Signs (with the named signers) or verifies without a window; log holds the lines, outcome
  // what the operation says it did.
  void Sign(const std::string& path, const std::vector<std::string>& signers) {
    LogCapture capture;
    GpgmeContext ctx = OpenEngineContext();
    std::vector<gpgme_key_t> keys;
    for (const std::string& name : signers) {
      gpgme_key_t key = nullptr;
      ASSERT_EQ(gpgme_get_key(ctx.get(), ring().fingerprint(name).c_str(), &key, 0), 0);
      keys.push_back(key);
    }
    keys.push_back(nullptr);
    ASSERT_TRUE(AddSigners(ctx.get(), keys.data()));
    outcome = SignFile(ctx.get(), path, progress.sink());
    for (gpgme_key_t key : keys)
      if (key) gpgme_key_unref(key);
    log = capture.text();
  }
  void Verify(const std::string& path) {
    LogCapture capture;
    GpgmeContext ctx = OpenEngineContext();
    outcome = VerifyFile(ctx.get(), path, progress.sink());
    log = capture.text();
  }
  std::string File(const std::string& name, const std::string& content) {
    const std::string path = ring().path("files/" + name);
    std::filesystem::create_directories(ring().path("files"));
    WriteFile(path, content);
    return path;
  }
  std::vector<std::string> Files() { return FolderNames(ring().path("files")); }

  std::string log;
  Outcome outcome;
  ProgressRecord progress;
};

}  // namespace

TEST_F(FileSigning, SignedFileIsBinaryAndVerifiesWithGpg) {
  const std::string path = File("report.txt", "quarterly figures\n");
  Sign(path, {"alice"});
  EXPECT_EQ(log, "Signing \"" + path + "\"...\nDone.\n");
  const std::string signedFile = ReadFile(path + ".signed.gpg");
  EXPECT_NE(signedFile[0], '-') << "not armored";
  const ProcessResult checked = ring().gpg({"--decrypt", "-o", "-", path + ".signed.gpg"});
  ASSERT_EQ(checked.exitCode, 0) << checked;
  EXPECT_EQ(checked.out, "quarterly figures\n");
  EXPECT_NE(checked.err.find("Good signature from \"Alice <alice@example.org>\""),
            std::string::npos);
}

TEST_F(FileSigning, SigningAgainReplacesTheWholeFile) {
  const std::string path = File("report.txt", std::string(100000, 'x'));
  Sign(path, {"alice"});
  const std::size_t longSize = ReadFile(path + ".signed.gpg").size();
  WriteFile(path, "short\n");
  Sign(path, {"alice"});
  EXPECT_LT(ReadFile(path + ".signed.gpg").size(), longSize);
  const ProcessResult checked = ring().gpg({"--decrypt", "-o", "-", path + ".signed.gpg"});
  EXPECT_EQ(checked.out, "short\n") << checked;
}

TEST_F(FileSigning, VerifyWritesTheContentUnderTheCleanName) {
  const std::string path = File("Report.TXT", "signed content\n");
  Sign(path, {"alice", "bob"});
  std::filesystem::rename(path + ".signed.gpg", ring().path("files/Report.TXT.SIGNED.GPG"));
  std::filesystem::remove(path);
  Verify(ring().path("files/Report.TXT.SIGNED.GPG"));
  EXPECT_EQ(log, "Verifying \"" + ring().path("files/Report.TXT.SIGNED.GPG") +
                     "\"...\nGood signature from \"Alice <alice@example.org>\"\n"
                     "Good signature from \"Bob <bob@example.org>\"\nDone.\n");
  EXPECT_EQ(ReadFile(path), "signed content\n");
}

TEST_F(FileSigning, VerifyOfOtherNamesAppendsVerified) {
  const std::string path = File("notes.gpg", "");
  const ProcessResult made =
      ring().gpg({"--yes", "-u", ring().fingerprint("bob"), "-o", path, "--sign"}, "notes\n");
  ASSERT_EQ(made.exitCode, 0) << made;
  Verify(path);
  EXPECT_EQ(ReadFile(path + ".verified"), "notes\n");
}

TEST_F(FileSigning, VerifyNeverReplacesAnExistingFile) {
  const std::string path = File("report.txt", "original\n");
  Sign(path, {"alice"});
  WriteFile(path, "edited since\n");
  Verify(path + ".signed.gpg");
  EXPECT_EQ(log, "File already exists: \"" + path + "\"\n");
  EXPECT_EQ(ReadFile(path), "edited since\n");
}

// A verification that is not good must not put the content where a user would take it for the
// signed original.
TEST_F(FileSigning, BadSignatureLeavesNoOutputAndIsNotDone) {
  const ProcessResult made = ring().gpg(
      {"--compress-algo", "none", "-u", ring().fingerprint("alice"), "--sign"}, "pay 100 to bob\n");
  ASSERT_EQ(made.exitCode, 0);
  std::string tampered = made.out;
  tampered.replace(tampered.find("100"), 3, "900");
  const std::string path = File("pay.txt.signed.gpg", tampered);
  Verify(path);
  EXPECT_EQ(log, "Verifying \"" + path +
                     "\"...\nBAD signature from \"Alice <alice@example.org>\"\n"
                     "Error: Not every signature is good\n");
  EXPECT_EQ(Files(), (std::vector<std::string>{"pay.txt.signed.gpg"}));
}

TEST_F(FileSigning, UnknownSignerOrNoSignatureLeavesNoOutput) {
  const std::string path = File("letter.txt", "from bob\n");
  Sign(path, {"bob"});
  ASSERT_EQ(
      ring().gpg({"--yes", "--delete-secret-and-public-key", ring().fingerprint("bob")}).exitCode,
      0);
  std::filesystem::remove(path);
  Verify(path + ".signed.gpg");
  EXPECT_NE(log.find("Signature by unknown key " + ring().fingerprint("bob") + "\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("Done."), std::string::npos) << log;

  const ProcessResult stored = ring().gpg({"--store"}, "no signature here\n");
  const std::string plain = File("plain.gpg", stored.out);
  Verify(plain);
  EXPECT_EQ(log, "Verifying \"" + plain + "\"...\nError: No signature found\n");
  EXPECT_EQ(Files(), (std::vector<std::string>{"letter.txt.signed.gpg", "plain.gpg"}));
}

TEST_F(FileSigning, FailedSigningKeepsTheOldSignedFile) {
  const std::string path = File("report.txt", "text\n");
  WriteFile(path + ".signed.gpg", "the earlier signed file");
  // The key is there, its secret part is not.
  ASSERT_EQ(ring().gpg({"--yes", "--delete-secret-keys", ring().fingerprint("bob")}).exitCode, 0);
  Sign(path, {"bob"});
  EXPECT_TRUE(log.starts_with("Signing \"" + path + "\"...\nError: ")) << log;
  EXPECT_EQ(ReadFile(path + ".signed.gpg"), "the earlier signed file");
  EXPECT_EQ(Files(), (std::vector<std::string>{"report.txt", "report.txt.signed.gpg"}));
}

TEST_F(FileSigning, CancelledOrRefusedPassphraseLeavesNoFile) {
  const std::string path = File("report.txt", "text\n");
  ring().setPassphrase(std::nullopt);
  Sign(path, {"secret"});
  EXPECT_EQ(log, "Signing \"" + path + "\"...\nError: Operation cancelled\n");
  ring().setPassphrase("wrong horse");
  Sign(path, {"secret"});
  EXPECT_TRUE(log.starts_with("Signing \"" + path + "\"...\nError: ")) << log;
  EXPECT_EQ(Files(), (std::vector<std::string>{"report.txt"}));

  ring().setPassphrase(kSecretPassphrase);
  Sign(path, {"secret"});
  EXPECT_EQ(log, "Signing \"" + path + "\"...\nDone.\n");
  EXPECT_NE(ring().pinentryLog().find("GETPIN"), std::string::npos);
}
