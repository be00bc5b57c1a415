// Encrypting files for a passphrase instead of keys: the passphrase comes from the engine's
// pinentry (asked twice), the output is named and committed as for an encryption to keys, and
// decryption asks the pinentry again.
#include <gtest/gtest.h>

#include "tests/support/log_capture.h"
#include "tests/support/test_env.h"

namespace {

// A ring without any key: a passphrase needs none.
class PassphraseEncryption : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.empty = true}; }

  std::string Plain(const std::string& content = "for your eyes only\n") {
    const std::string path = ring().path("note.txt");
    WriteFile(path, content);
    return path;
  }
  // The test's own files in the folder, temporaries included (the fixture's folders left out).
  std::vector<std::string> Files() {
    std::vector<std::string> names;
    for (const std::string& name : FolderNames(ring().folder()))
      if (name != "g" && name != "home" && name != "registry") names.push_back(name);
    return names;
  }
  static std::string Encrypting(const std::string& path) {
    return "Encrypting \"" + path + "\"...\n";
  }
  static std::string Decrypting(const std::string& path) {
    return "Decrypting \"" + path + "\"...\n";
  }
};

}  // namespace

TEST_F(PassphraseEncryption, ARoundTripAsksThePinentryTwiceThenOnceMore) {
  const std::string plain = Plain();
  ring().setPassphrase("a passphrase of 2 words");
  FileOps ops;
  LogCapture log;
  const Outcome encrypted = EncryptFileWithPassphrase(ops.ctx.get(), plain, ops.progress);
  EXPECT_TRUE(encrypted.ok()) << encrypted;
  EXPECT_EQ(encrypted.output, plain + ".gpg");
  EXPECT_EQ(log.take(), Encrypting(plain) + "Done.\n");
  // The passphrase was asked with its confirmation.
  EXPECT_NE(ring().pinentryLog().find("SETREPEAT"), std::string::npos) << ring().pinentryLog();
  // Binary OpenPGP with a passphrase-encrypted session key and no public-key one.
  const ProcessResult packets =
      ring().gpg({"--list-packets", "--pinentry-mode", "loopback", "--passphrase",
                  "a passphrase of 2 words", plain + ".gpg"});
  EXPECT_NE(packets.out.find(":symkey enc packet:"), std::string::npos) << packets;
  EXPECT_EQ(packets.out.find(":pubkey enc packet:"), std::string::npos) << packets;
  EXPECT_NE(ReadFile(plain + ".gpg").substr(0, 5), "-----");

  std::remove(plain.c_str());
  const Outcome decrypted = ops.Decrypt(plain + ".gpg");
  EXPECT_TRUE(decrypted.ok()) << decrypted;
  EXPECT_EQ(log.take(), Decrypting(plain + ".gpg") + "Done.\n");
  EXPECT_EQ(ReadFile(plain), "for your eyes only\n");
}

TEST_F(PassphraseEncryption, CancelledInThePinentryWritesNoOutput) {
  const std::string plain = Plain();
  ring().setPassphrase(std::nullopt);
  FileOps ops;
  LogCapture log;
  const Outcome encrypted = EncryptFileWithPassphrase(ops.ctx.get(), plain, ops.progress);
  EXPECT_FALSE(encrypted.ok());
  EXPECT_FALSE(encrypted.written());
  const std::string text = log.text();
  EXPECT_TRUE(text.starts_with(Encrypting(plain) + "Error: ")) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
  EXPECT_EQ(Files(), (std::vector<std::string>{"note.txt"}));
}

TEST_F(PassphraseEncryption, AWrongPassphraseDecryptsNothingWithOneErrorLine) {
  const std::string plain = Plain();
  ring().setPassphrase("the right one 1");
  FileOps ops;
  ASSERT_TRUE(EncryptFileWithPassphrase(ops.ctx.get(), plain, ops.progress).ok());
  std::remove(plain.c_str());
  ring().setPassphrase("the wrong one 2");
  LogCapture log;
  const Outcome decrypted = ops.Decrypt(plain + ".gpg");
  EXPECT_FALSE(decrypted.ok());
  const std::string text = log.text();
  EXPECT_TRUE(text.starts_with(Decrypting(plain + ".gpg") + "Error: ")) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
  EXPECT_FALSE(Exists(plain));
  EXPECT_EQ(Files(), (std::vector<std::string>{"note.txt.gpg"}));
}

TEST_F(PassphraseEncryption, AnExistingOutputIsReplacedOnlyByACompleteEncryption) {
  const std::string plain = Plain();
  WriteFile(plain + ".gpg", "older output");
  ring().setPassphrase(std::nullopt);
  FileOps ops;
  LogCapture log;
  EXPECT_FALSE(EncryptFileWithPassphrase(ops.ctx.get(), plain, ops.progress).ok());
  EXPECT_EQ(ReadFile(plain + ".gpg"), "older output");
  ring().setPassphrase("replacing 3 it");
  EXPECT_TRUE(EncryptFileWithPassphrase(ops.ctx.get(), plain, ops.progress).ok());
  EXPECT_NE(ReadFile(plain + ".gpg"), "older output");
}
