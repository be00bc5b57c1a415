// What Zembra encrypts, rnp (an OpenPGP implementation sharing no code with GnuPG) decrypts, and
// what rnp encrypts, Zembra decrypts, byte for byte.
#include <sys/stat.h>

#include <random>

#include <gtest/gtest.h>

#include "tests/crypto/test_env.h"
#include "zembra/ui/dlg_progress.h"

namespace {

class Window : public CDlgProgress {
 public:
  Window() : CDlgProgress(nullptr, cmdNone) {}
  using CDlgProgress::Decrypt;
  using CDlgProgress::Encrypt;
  using CDlgProgress::m_ctx;
};

constexpr const char* kPassphrase = "correct horse";

std::string RandomBytes(std::size_t size) {
  std::mt19937_64 random(size);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// The contents each direction is tried with: nothing, a line of text, a MiB of noise.
const std::pair<const char*, std::string>& Contents(int i) {
  static const std::pair<const char*, std::string> contents[] = {
      {"empty", ""}, {"text", "Gr\xc3\xbc\xc3\x9f" "e aus Zembra\r\n"}, {"noise", RandomBytes(1 << 20)}};
  return contents[i];
}

// One key in both implementations: made by GnuPG, its secret part imported into rnp.
class RnpInterop : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    fpr = home.MakeKey("Interop <interop@example.org>", "default", "0", "", GetParam());
    ASSERT_EQ(fpr.size(), 40u);
    rnpHome = files / "rnp";
    mkdir(rnpHome.c_str(), 0700);
    WriteFile(files / "secret.asc", home.ExportSecretArmored(fpr));
    ProgramResult imported = RunProgram({"rnpkeys", "--homedir", rnpHome, "--import", files / "secret.asc"});
    ASSERT_EQ(imported.status, 0) << imported.err;
    home.PresetPassphrase();
  }

  std::string Run(const std::function<void(Window&)>& body) {
    std::string log;
    RunInHostWindow([&](HWND) {
      Window window;
      window.m_ctx = home.MakeContext();
      body(window);
      log = LogText();
    });
    return log;
  }

  GpgHome home{kPassphrase};
  TempFolder files;
  std::string fpr;
  std::string rnpHome;
};

TEST_P(RnpInterop, RnpDecryptsWhatZembraEncrypts) {
  GpgmeContext ctx = home.MakeContext();
  gpgme_key_t key = nullptr;
  ASSERT_EQ(gpgme_get_key(ctx.get(), fpr.c_str(), &key, 0), 0);
  CKeyHandle holder = CKeyHandle::Adopt(key);
  gpgme_key_t recipients[] = {key, nullptr};
  for (int i = 0; i < 3; ++i) {
    const auto& [name, content] = Contents(i);
    SCOPED_TRACE(name);
    const std::string path = files / name;
    WriteFile(path, content);
    const std::string log = Run([&](Window& w) { w.Encrypt(path, recipients); });
    ASSERT_EQ(log, "Encrypting \"" + path + "\"...\nDone.\n");
    ProgramResult decrypted = RunProgram({"rnp", "--homedir", rnpHome, "--notty", "--password",
                                          kPassphrase, "--decrypt", path + ".gpg", "--output",
                                          path + ".rnp"});
    ASSERT_EQ(decrypted.status, 0) << decrypted.err;
    EXPECT_TRUE(ReadFile(path + ".rnp") == content);
  }
}

TEST_P(RnpInterop, ZembraDecryptsWhatRnpEncrypts) {
  for (bool armored : {false, true}) {
    for (int i = 0; i < 3; ++i) {
      const auto& [name, content] = Contents(i);
      SCOPED_TRACE(std::string(name) + (armored ? " armored" : " binary"));
      TempFolder folder;
      const std::string plain = folder / "plain";
      WriteFile(plain, content);
      std::vector<std::string> args = {"rnp", "--homedir", rnpHome, "--notty", "--encrypt", "-r", fpr};
      if (armored) args.push_back("--armor");
      args.insert(args.end(), {plain, "--output", folder / "m.gpg"});
      ProgramResult encrypted = RunProgram(args);
      ASSERT_EQ(encrypted.status, 0) << encrypted.err;
      const std::string log = Run([&](Window& w) { w.Decrypt(folder / "m.gpg"); });
      EXPECT_EQ(log, "Decrypting \"" + folder / "m.gpg" + "\"...\nDone.\n");
      EXPECT_TRUE(ReadFile(folder / "m") == content);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Keys, RnpInterop, ::testing::Values("future-default", "rsa2048"),
                         [](const ::testing::TestParamInfo<const char*>& key) {
                           return std::string(key.param) == "rsa2048" ? "Rsa" : "Curve25519";
                         });

}  // namespace
