// What Zembra encrypts, rnp (an OpenPGP implementation sharing no code with GnuPG) decrypts, and
// what rnp encrypts, Zembra decrypts, byte for byte.
#include <sys/stat.h>

#include <random>

#include <gtest/gtest.h>

#include "tests/support/log_capture.h"
#include "tests/support/test_env.h"
#include "zembra/keys/key_list.h"

namespace {

// The contents each direction is tried with: nothing, a line of text, a MiB of noise.
const std::pair<const char*, std::string>& Contents(int i) {
  static const std::pair<const char*, std::string> contents[] = {{"empty", ""},
                                                                 {"text",
                                                                  "Gr\xc3\xbc\xc3\x9f"
                                                                  "e aus Zembra\r\n"},
                                                                 {"noise", RandomBytes(1 << 20)}};
  return contents[i];
}

// One fixture key in both implementations: GnuPG holds the ring, rnp gets the same secret key.
class RnpInterop : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ring = std::make_unique<KeyRing>(KeyRingOptions{.keys = {GetParam()}});
    ring->setPassphrase(kSecretPassphrase);  // for the key that has one
    fpr = ring->fingerprint(GetParam());
    rnpHome = files.path("rnp");
    mkdir(rnpHome.c_str(), 0700);
    ProcessResult imported = RunProcess({"rnpkeys", "--homedir", rnpHome, "--import",
                                         TestKeyFolder() + "/" + GetParam() + ".sec.asc"});
    ASSERT_EQ(imported.exitCode, 0) << imported;
  }

  std::string Run(const std::function<void(FileOps&)>& body) {
    LogCapture log;
    FileOps ops;
    body(ops);
    return log.text();
  }

  std::unique_ptr<KeyRing> ring;
  TempFolder files;
  std::string fpr;
  std::string rnpHome;
};

TEST_P(RnpInterop, RnpDecryptsWhatZembraEncrypts) {
  GpgmeContext ctx = OpenEngineContext();
  gpgme_key_t key = nullptr;
  ASSERT_EQ(gpgme_get_key(ctx.get(), fpr.c_str(), &key, 0), 0);
  CKeyHandle holder = CKeyHandle::Adopt(key);
  gpgme_key_t recipients[] = {key, nullptr};
  for (int i = 0; i < 3; ++i) {
    const auto& [name, content] = Contents(i);
    SCOPED_TRACE(name);
    const std::string path = files.path(name);
    WriteFile(path, content);
    const std::string log = Run([&](FileOps& w) { w.Encrypt(path, recipients); });
    ASSERT_EQ(log, "Encrypting \"" + path + "\"...\nDone.\n");
    ProcessResult decrypted =
        RunProcess({"rnp", "--homedir", rnpHome, "--notty", "--password", kSecretPassphrase,
                    "--decrypt", path + ".gpg", "--output", path + ".rnp"});
    ASSERT_EQ(decrypted.exitCode, 0) << decrypted;
    EXPECT_TRUE(ReadFile(path + ".rnp") == content);
  }
}

TEST_P(RnpInterop, ZembraDecryptsWhatRnpEncrypts) {
  for (bool armored : {false, true}) {
    for (int i = 0; i < 3; ++i) {
      const auto& [name, content] = Contents(i);
      SCOPED_TRACE(std::string(name) + (armored ? " armored" : " binary"));
      TempFolder folder;
      const std::string plain = folder.path("plain");
      WriteFile(plain, content);
      std::vector<std::string> args = {"rnp",       "--homedir", rnpHome, "--notty",
                                       "--encrypt", "-r",        fpr};
      if (armored) args.push_back("--armor");
      args.insert(args.end(), {plain, "--output", folder.path("m.gpg")});
      ProcessResult encrypted = RunProcess(args);
      ASSERT_EQ(encrypted.exitCode, 0) << encrypted;
      const std::string log = Run([&](FileOps& w) { w.Decrypt(folder.path("m.gpg")); });
      EXPECT_EQ(log, "Decrypting \"" + folder.path("m.gpg") + "\"...\nDone.\n");
      EXPECT_TRUE(ReadFile(folder.path("m")) == content);
    }
  }
}

// A file Zembra encrypted for a passphrase alone (the pinentry answered it) is read by rnp
// with that passphrase, and by no other.
TEST(RnpPassphraseInterop, RnpDecryptsAPassphraseOnlyFileZembraWrote) {
  KeyRing ring({.empty = true});
  ring.setPassphrase("shared 6 secret");
  for (int i = 0; i < 3; ++i) {
    const auto& [name, content] = Contents(i);
    SCOPED_TRACE(name);
    const std::string path = ring.path(name);
    WriteFile(path, content);
    LogCapture log;
    FileOps ops;
    EncryptFileWithPassphrase(ops.ctx.get(), path, ops.progress);
    ASSERT_EQ(log.text(), "Encrypting \"" + path + "\"...\nDone.\n");
    const std::string rnpHome = ring.path("rnp");
    mkdir(rnpHome.c_str(), 0700);
    ProcessResult wrong =
        RunProcess({"rnp", "--homedir", rnpHome, "--notty", "--password", "not it", "--decrypt",
                    path + ".gpg", "--output", path + ".wrong"});
    EXPECT_NE(wrong.exitCode, 0) << wrong;
    ProcessResult decrypted =
        RunProcess({"rnp", "--homedir", rnpHome, "--notty", "--password", "shared 6 secret",
                    "--decrypt", path + ".gpg", "--output", path + ".rnp"});
    ASSERT_EQ(decrypted.exitCode, 0) << decrypted;
    EXPECT_TRUE(ReadFile(path + ".rnp") == content);
  }
}

// RSA without passphrase, ed25519/cv25519, RSA with a passphrase.
INSTANTIATE_TEST_SUITE_P(Keys, RnpInterop, ::testing::Values("alice", "dave", "secret"),
                         [](const ::testing::TestParamInfo<const char*>& key) {
                           return std::string(key.param);
                         });

}  // namespace
