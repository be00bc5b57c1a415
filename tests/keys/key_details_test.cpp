// The details of one key as the details dialog shows them, read without a window: keys made by
// gpg in the test's own home, with many user IDs, broken user IDs, revoked and expired subkeys,
// and keys whose secret part is elsewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/core/text.h"
#include "tests/support/test_env.h"
#include "zembra/keys/key_details.h"
#include "zembra/keys/key_list.h"

namespace {

constexpr const char* kPast = "20200101T000000";

class KeyDetailsTest : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice"}}; }

  KeyDetails Read(const std::string& fingerprint, std::string* log = nullptr) {
    KeyDetails details;
    RunInHostWindow([&](HWND) {
      GpgmeContext ctx = OpenEngineContext();
      details = ReadKeyDetails(ctx.get(), fingerprint);
      if (log != nullptr) *log = LogText();
    });
    return details;
  }
  // gpg without a passphrase prompt (the keys it makes here are unprotected).
  void Gpg(std::vector<std::string> args, const std::string& input = {}) {
    args.insert(args.begin(), {"--pinentry-mode", "loopback", "--passphrase", ""});
    const ProcessResult result = ring().gpg(args, input);
    ASSERT_EQ(result.exitCode, 0) << result;
  }
};

}  // namespace

TEST_F(KeyDetailsTest, AFixtureKeyWithItsWholeFingerprintAndBothSubkeys) {
  const TestKey& alice = ring().key("alice");
  std::string log;
  const KeyDetails d = Read(alice.fingerprint, &log);
  EXPECT_EQ(log, "");
  ASSERT_TRUE(d.found);
  EXPECT_EQ(d.fingerprint, alice.fingerprint);
  EXPECT_EQ(GroupedFingerprint(d.fingerprint), "1F9B 3C20 CC70 5BEA 8CB5 27A2 31B1 68FB 1B1A 2766");
  EXPECT_EQ(d.ownerTrust, GPGME_VALIDITY_ULTIMATE);
  EXPECT_TRUE(d.hasSecret);
  ASSERT_EQ(d.userIds.size(), 1u);
  EXPECT_EQ(d.userIds[0].text, "Alice <alice@example.org>");
  EXPECT_EQ(d.userIds[0].validity, GPGME_VALIDITY_ULTIMATE);
  ASSERT_EQ(d.subkeys.size(), 2u) << d;
  EXPECT_EQ(d.subkeys[0].keyId, alice.keyId);
  EXPECT_EQ(d.subkeys[0].algorithm, "RSA");
  EXPECT_EQ(d.subkeys[0].length, 2048u);
  EXPECT_EQ(UsageText(d.subkeys[0]), "Sign, Certify");
  EXPECT_EQ(d.subkeys[1].keyId, alice.subkeyId);
  EXPECT_EQ(UsageText(d.subkeys[1]), "Encrypt");
  EXPECT_EQ(ExpiryDateText(d.subkeys[1]), "never");
  EXPECT_EQ(SubkeyStateText(d.subkeys[1]), "");
  EXPECT_TRUE(d.subkeys[1].secret);
}

TEST_F(KeyDetailsTest, FiftyUserIdsAreAllListedOnceEach) {
  const std::string fpr = MakeKey(ring(), "User 0 <u0@example.org>");
  for (int i = 1; i < 50; ++i) {
    const std::string uid =
        "User " + std::to_string(i) + " <u" + std::to_string(i) + "@example.org>";
    Gpg({"--quick-add-uid", fpr, uid});
  }
  const KeyDetails d = Read(fpr);
  ASSERT_TRUE(d.found);
  ASSERT_EQ(d.userIds.size(), 50u) << d;
  // GnuPG lists the primary user ID first, which is the newest self-signature's: any of them.
  std::vector<std::string> texts;
  for (const UserIdDetails& uid : d.userIds) texts.push_back(uid.text);
  for (int i = 0; i < 50; ++i) {
    const std::string uid =
        "User " + std::to_string(i) + " <u" + std::to_string(i) + "@example.org>";
    EXPECT_EQ(std::count(texts.begin(), texts.end(), uid), 1) << uid;
  }
  for (const UserIdDetails& uid : d.userIds) EXPECT_EQ(uid.validity, GPGME_VALIDITY_ULTIMATE);
}

TEST_F(KeyDetailsTest, AUserIdThatIsNotUtf8ShowsReplacementCharacters) {
  const std::string bad = "Bad\xff\xfe Name <bad@example.org>";
  const std::string fpr = MakeKey(ring(), "Good <good@example.org>");
  Gpg({"--utf8-strings", "--quick-add-uid", fpr, bad});
  std::string log;
  const KeyDetails d = Read(fpr, &log);
  ASSERT_EQ(d.userIds.size(), 2u) << d << log << fpr;
  const std::string& shown = d.userIds[d.userIds[0].text.starts_with("Good") ? 1 : 0].text;
  EXPECT_TRUE(IsValidUtf8(shown)) << shown;
  EXPECT_EQ(shown, "Bad\xEF\xBF\xBD\xEF\xBF\xBD Name <bad@example.org>");
}

TEST_F(KeyDetailsTest, ARevokedAndAnExpiredSubkeySayWhatTheyAre) {
  const std::string fpr = MakeKey(ring(), "Aged <aged@example.org>", "0", kPast);
  // Made in 2020, expired on 2021-01-01.
  Gpg({"--faked-system-time", "20200102T000000", "--quick-add-key", fpr, "cv25519", "encr",
       "2021-01-01"});
  Gpg({"--quick-add-key", fpr, "cv25519", "encr", "0"});
  Gpg({"--command-fd", "0", "--edit-key", fpr}, "key 3\nrevkey\ny\n0\n\ny\nsave\n");
  const KeyDetails d = Read(fpr);
  ASSERT_EQ(d.subkeys.size(), 4u) << d;
  EXPECT_EQ(FormatDate(d.subkeys[0].created), "2020-01-01");
  EXPECT_EQ(SubkeyStateText(d.subkeys[1]), "") << d;  // MakeKey's own encryption subkey
  EXPECT_TRUE(d.subkeys[2].expired) << d;
  EXPECT_FALSE(d.subkeys[2].revoked) << d;
  EXPECT_EQ(SubkeyStateText(d.subkeys[2]), "expired");
  EXPECT_EQ(ExpiryDateText(d.subkeys[2]).substr(0, 10), "2021-01-01");
  EXPECT_TRUE(d.subkeys[3].revoked) << d;
  EXPECT_EQ(SubkeyStateText(d.subkeys[3]), "revoked");
  EXPECT_EQ(d.subkeys[3].algorithm, "ECDH (cv25519)");
  EXPECT_EQ(d.subkeys[0].algorithm, "EdDSA (ed25519)");
  EXPECT_EQ(UsageText(d.subkeys[0]), "Sign, Certify");
}

TEST_F(KeyDetailsTest, AKeyWithoutItsSecretPartIsPublicOnly) {
  ring().importKeys({"bob"}, /*secret=*/false, /*ownertrust=*/false);
  const KeyDetails d = Read(ring().fingerprint("bob"));
  ASSERT_TRUE(d.found);
  EXPECT_FALSE(d.hasSecret);
  for (const SubkeyDetails& sub : d.subkeys) EXPECT_FALSE(sub.secret);
  EXPECT_EQ(d.ownerTrust, GPGME_VALIDITY_UNKNOWN);
  EXPECT_EQ(d.userIds.at(0).validity, GPGME_VALIDITY_UNKNOWN);
}

TEST_F(KeyDetailsTest, AKeyNoLongerInTheRingIsNotFoundAndOneLineSaysWhy) {
  std::string log;
  const KeyDetails d = Read("0000000000000000000000000000000000000000", &log);
  EXPECT_FALSE(d.found);
  EXPECT_TRUE(d.userIds.empty());
  EXPECT_TRUE(log.starts_with("Error: ")) << log;
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
}

TEST(KeyDetailsText, TheFingerprintInGroupsOfFour) {
  EXPECT_EQ(GroupedFingerprint("D81A761BD3EF13653673CAEBF895FD9514A5A489"),
            "D81A 761B D3EF 1365 3673 CAEB F895 FD95 14A5 A489");
  EXPECT_EQ(GroupedFingerprint(""), "");
  EXPECT_EQ(GroupedFingerprint("ABCDEF"), "ABCD EF");
}
