// Key generation with the real engine: each offered algorithm and length once, non-ASCII names,
// expiry dates, and a key made through the window's dialog.
#include <gtest/gtest.h>

#include <QTimer>

#include "tests/support/test_env.h"
#include "zembra/engine/operation_loop.h"
#include "zembra/keys/key_export.h"
#include "zembra/keys/key_generation.h"
#include "zembra/keys/key_list.h"

namespace {

class KeyGeneration : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.empty = true}; }

  // Generates inside a host window; returns the result and the log.
  CGenKeyResult Generate(const char* type, int length, const std::string& name,
                         const std::string& expiry, std::string* log) {
    CGenKeyResult result;
    RunInHostWindow([&](HWND) {
      GpgmeContext ctx = OpenEngineContext();
      result = GenerateKey(ctx.get(), {.keyType = type,
                                       .keyLength = length,
                                       .keyCurve = "",
                                       .subkeyType = "default",
                                       .subkeyLength = length,
                                       .subkeyCurve = "",
                                       .name = name,
                                       .email = "new@example.org",
                                       .comment = "",
                                       .expiry = expiry,
                                       .passphrase = "generated words"});
      *log = LogText();
    });
    return result;
  }
  // The colon listing of the new key.
  std::string Listing(const std::string& fingerprint) {
    return ring().gpg({"--with-colons", "--list-keys", fingerprint}).out;
  }
};

struct Algorithm {
  const char* type;
  int length;
  const char* colonAlgo;  // algorithm number as the colon listing shows it
};

class EachAlgorithm : public KeyGeneration, public ::testing::WithParamInterface<Algorithm> {};

}  // namespace

TEST_P(EachAlgorithm, MakesAPrimaryKeyAndASubkeyOfTheChosenLength) {
  const Algorithm a = GetParam();
  std::string log;
  auto result = Generate(a.type, a.length, "Generated", "0", &log);
  ASSERT_TRUE(result.generated()) << result << log;
  EXPECT_EQ(log, "");
  EXPECT_TRUE(result.primary()) << result;
  ASSERT_TRUE(result.hasFingerprint()) << result;
  const std::string listing = Listing(result.fingerprint());
  const std::size_t at = listing.find("pub:");
  ASSERT_NE(at, std::string::npos) << listing;
  const std::string pub = listing.substr(at, listing.find('\n', at) - at);
  EXPECT_NE(pub.find(":" + std::to_string(a.length) + ":" + a.colonAlgo + ":"), std::string::npos)
      << listing;
  EXPECT_NE(listing.find("\nsub:"), std::string::npos) << listing;
  EXPECT_NE(listing.find("Generated <new@example.org>"), std::string::npos) << listing;
}

INSTANTIATE_TEST_SUITE_P(Keys, EachAlgorithm,
                         ::testing::Values(Algorithm{"RSA", 1024, "1"}, Algorithm{"RSA", 1536, "1"},
                                           Algorithm{"RSA", 2048, "1"}, Algorithm{"RSA", 3072, "1"},
                                           Algorithm{"DSA", 2048, "17"}),
                         [](const auto& param) {
                           return std::string(param.param.type) +
                                  std::to_string(param.param.length);
                         });

TEST_F(KeyGeneration, ANonAsciiNameAndAFutureExpiry) {
  std::string log;
  auto result = Generate("RSA", 1024, "J\xC3\xBCrgen M\xC3\xBCller", "20991231T000000", &log);
  ASSERT_TRUE(result.generated()) << result << log;
  const std::string listing = Listing(result.fingerprint());
  EXPECT_NE(listing.find("J\\xc3\\xbcrgen") == std::string::npos
                ? listing.find("J\xC3\xBCrgen M\xC3\xBCller")
                : listing.find("J\\xc3\\xbcrgen"),
            std::string::npos)
      << listing;
  // 2099-12-31 00:00:00 UTC.
  EXPECT_NE(listing.find(":4102358400:"), std::string::npos) << listing;
}

// GnuPG either refuses a date in the past ("Error: ...") or makes a key that is expired at once;
// it never makes a usable key.
TEST_F(KeyGeneration, AnExpiryInThePastNeverGivesAUsableKey) {
  std::string log;
  auto result = Generate("RSA", 1024, "Past", "20171231T000000", &log);
  if (log.starts_with("Error: ")) {
    EXPECT_TRUE(ring().publicFingerprints().empty()) << log;
  } else {
    ASSERT_TRUE(result.generated()) << result << log;
    const std::string listing = Listing(result.fingerprint());
    EXPECT_NE(listing.find("pub:e:"), std::string::npos) << listing;
  }
}

// The passphrase typed for the key is the one that protects it.
TEST_F(KeyGeneration, ThePassphraseProtectsTheNewKey) {
  std::string log;
  auto result = Generate("RSA", 1024, "Protected", "0", &log);
  ASSERT_TRUE(result.generated()) << result << log;
  auto exportSecret = [&](const std::string& path) {
    ExportOutcome outcome;
    RunInHostWindow([&](HWND) {
      GpgmeContext ctx = OpenEngineContext();
      gpgme_key_t key = nullptr;
      ASSERT_EQ(gpgme_get_key(ctx.get(), result.fingerprint().c_str(), &key, 0), 0u);
      CKeyHandle handle = CKeyHandle::Adopt(key);
      CKeyArray keys(std::vector<gpgme_key_t>{key});
      outcome = ExportKeys(ctx.get(), path, keys.keys(), true, false);
    });
    return outcome;
  };
  ring().setPassphrase("wrong words");
  EXPECT_FALSE(exportSecret(ring().path("wrong.asc")).written());
  ring().setPassphrase("generated words");
  EXPECT_TRUE(exportSecret(ring().path("right.asc")).written());
}

// Cancel while the engine generates (the window's Cancel reaches the operation so): one line,
// nothing generated, no key in the ring.
TEST_F(KeyGeneration, CancelWhileTheEngineGeneratesLeavesNoKey) {
  CGenKeyResult result;
  std::string log;
  bool cancelled = false;
  RunInHostWindow([&](HWND) {
    GpgmeContext ctx = OpenEngineContext();
    QTimer soon;
    soon.setSingleShot(true);
    QObject::connect(&soon, &QTimer::timeout, [&] { cancelled = CancelOperation(ctx.get()); });
    soon.start(100);
    result = GenerateKey(ctx.get(), {.keyType = "RSA",
                                     .keyLength = 4096,
                                     .keyCurve = "",
                                     .subkeyType = "default",
                                     .subkeyLength = 4096,
                                     .subkeyCurve = "",
                                     .name = "Never Made",
                                     .email = "never@example.org",
                                     .comment = "",
                                     .expiry = "0",
                                     .passphrase = "generated words"});
    log = LogText();
  });
  ASSERT_TRUE(cancelled) << "the key was made within 100 ms: " << result;
  EXPECT_FALSE(result.generated()) << result;
  EXPECT_EQ(log, "Cancelled.\n");
  EXPECT_TRUE(ring().publicFingerprints().empty());
}

// The modern choice of the algorithm box: GnuPG takes its block (no lengths, two curves) and
// makes an EdDSA key with an ECDH subkey, protected by the passphrase typed.
TEST_F(KeyGeneration, TheModernChoiceMakesAnEd25519KeyWithACv25519Subkey) {
  KeyParms parms;
  parms.name = "Modern";
  parms.email = "modern@example.org";
  parms.expiry = "0";
  parms.passphrase = "generated words";
  SetKeyAlgorithm(parms, KeyAlgorithm::Curve25519, 2048);
  CGenKeyResult result;
  std::string log;
  RunInHostWindow([&](HWND) {
    GpgmeContext ctx = OpenEngineContext();
    result = GenerateKey(ctx.get(), parms);
    log = LogText();
  });
  ASSERT_TRUE(result.generated()) << result << log;
  EXPECT_EQ(log, "");
  const std::string listing = Listing(result.fingerprint());
  // EdDSA is algorithm 22, ECDH 18.
  EXPECT_NE(listing.find("pub:u:255:22:"), std::string::npos) << listing;
  EXPECT_NE(listing.find(":ed25519:"), std::string::npos) << listing;
  EXPECT_NE(listing.find("\nsub:u:255:18:"), std::string::npos) << listing;
  EXPECT_NE(listing.find(":cv25519:"), std::string::npos) << listing;
  // Protected: the secret key does not leave the ring without the passphrase.
  const ProcessResult exported =
      ring().gpg({"--pinentry-mode", "error", "--export-secret-keys", result.fingerprint()});
  EXPECT_NE(exported.exitCode, 0) << exported;
}
