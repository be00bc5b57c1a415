// What the log shows when the engine refuses a recipient or a message's algorithm.
#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/core/files.h"
#include "platform/core/text.h"
#include "tests/support/log_capture.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_env.h"
#include "zembra/keys/key_list.h"

namespace {

class EngineRefusal : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice"}}; }

  // A key whose primary key is valid but whose only encryption subkey expired years ago: made
  // at a faked time, its subkey then given an expiry of one day from that time.
  std::string KeyWithExpiredEncryptionSubkey() {
    const std::string fpr = MakeKey(ring(), "Lapsed <lapsed@example.org>", "0", "20200101T000000");
    const ProcessResult listed = ring().gpg({"--with-colons", "--list-keys", fpr});
    const std::size_t sub = listed.out.find("\nsub:");
    const std::size_t subFpr = listed.out.find("\nfpr:", sub);
    EXPECT_NE(subFpr, std::string::npos) << listed;
    const std::string subkey = listed.out.substr(subFpr + 13, 40);
    const ProcessResult expired = ring().gpg(
        {"--batch", "--pinentry-mode", "loopback", "--passphrase", "", "--faked-system-time",
         "20200101T000100", "--quick-set-expire", fpr, "1d", subkey});
    EXPECT_EQ(expired.exitCode, 0) << expired;
    return fpr;
  }

  TempFolder folder;
};

}  // namespace

// GPGME fails the whole encryption when the engine names an invalid recipient, so the log
// shows the engine's text and the result names the refused key; nothing is encrypted to the
// remaining recipients and no output is left.
TEST_F(EngineRefusal, RecipientWithAnExpiredEncryptionSubkeyFailsTheEncryption) {
  const std::string lapsed = KeyWithExpiredEncryptionSubkey();
  const std::string a = folder.path("a.txt");
  WriteFile(a, "text\n");
  GpgmeContext lookup = OpenEngineContext();
  gpgme_key_t alice = nullptr, refused = nullptr;
  ASSERT_EQ(gpgme_get_key(lookup.get(), ring().fingerprint("alice").c_str(), &alice, 0), 0);
  ASSERT_EQ(gpgme_get_key(lookup.get(), lapsed.c_str(), &refused, 0), 0);
  const CKeyHandle aliceHandle = CKeyHandle::Adopt(alice),
                   refusedHandle = CKeyHandle::Adopt(refused);

  for (const std::vector<gpgme_key_t>& recipients :
       {std::vector<gpgme_key_t>{refused}, std::vector<gpgme_key_t>{alice, refused}}) {
    CKeyArray keys(recipients);
    LogCapture log;
    FileOps ops;
    const Outcome outcome = ops.Encrypt(a, keys.keys());
    EXPECT_EQ(log.text(), "Encrypting \"" + a + "\"...\nError: Unusable public key\n") << outcome;
    gpgme_encrypt_result_t result = gpgme_op_encrypt_result(ops.ctx.get());
    ASSERT_NE(result, nullptr);
    ASSERT_NE(result->invalid_recipients, nullptr);
    EXPECT_EQ(std::string(result->invalid_recipients->fpr), lapsed);
    EXPECT_EQ(result->invalid_recipients->next, nullptr) << "alice was accepted";
    EXPECT_FALSE(PathExists(a + ".gpg")) << recipients.size();
  }
}

// rnp encrypts with SM4, a cipher GnuPG 2.2 does not have: the engine refuses the message with
// its own text, names no unsupported algorithm in the result, and no plaintext file is left.
TEST_F(EngineRefusal, MessageInACipherGnuPGLacksIsRefusedWithTheEngineText) {
  const std::string home = folder.path("rnp");
  ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
  const ProcessResult imported =
      RunProcess({"rnpkeys", "--homedir", home, "--import", TestKeyFolder() + "/alice.pub.asc"});
  ASSERT_EQ(imported.exitCode, 0) << imported;
  const std::string plain = folder.path("note.txt");
  WriteFile(plain, "sm4 text\n");
  const std::string message = folder.path("note.gpg");
  const ProcessResult made =
      RunProcess({"rnp", "--homedir", home, "-r", ring().fingerprint("alice"), "--cipher", "SM4",
                  "-e", plain, "--output", message});
  ASSERT_EQ(made.exitCode, 0) << made;
  std::filesystem::remove(plain);

  LogCapture log;
  FileOps ops;
  const Outcome outcome = ops.Decrypt(message);
  EXPECT_EQ(log.text(), "Decrypting \"" + message + "\"...\nError: Invalid cipher algorithm\n")
      << outcome;
  gpgme_decrypt_result_t result = gpgme_op_decrypt_result(ops.ctx.get());
  EXPECT_TRUE(result == nullptr || result->unsupported_algorithm == nullptr);
  EXPECT_EQ(FolderNames(folder.path()), (std::vector<std::string>{"note.gpg", "rnp"}));
}
