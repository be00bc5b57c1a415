// Upkeep of a key without a window: its passphrase through the pinentry, its expiry, its owner
// trust and the revocation certificate GnuPG keeps for it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>

#include "tests/support/log_capture.h"
#include "tests/support/test_env.h"
#include "zembra/keys/key_list.h"
#include "zembra/keys/key_upkeep.h"
#include "zembra/operations/messages.h"

namespace {

std::int64_t Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

class KeyUpkeep : public KeyRingTest {
 protected:
  KeyRingOptions keyRingOptions() const override { return {.keys = {"alice", "bob", "secret"}}; }
  void SetUp() override {
    KeyRingTest::SetUp();
    ctx = OpenEngineContext();
  }
  void TearDown() override {
    ctx.reset();
    KeyRingTest::TearDown();
  }

  CKeyHandle Key(const std::string& fingerprint) {
    gpgme_key_t key = nullptr;
    EXPECT_EQ(gpgme_get_key(ctx.get(), fingerprint.c_str(), &key, 0), 0u) << fingerprint;
    return CKeyHandle::Adopt(key);
  }
  // Encrypts a file to the named key and tries to decrypt it with the passphrase given: the
  // log of the decryption.
  std::string RoundTrip(const std::string& name, const std::string& passphrase) {
    const std::string plain = ring().path("plain-" + std::to_string(++m_files) + ".txt");
    WriteFile(plain, "upkeep\n");
    CKeyHandle key = Key(ring().fingerprint(name));
    gpgme_key_t recipients[] = {key.get(), nullptr};
    FileOps ops;
    EXPECT_TRUE(ops.Encrypt(plain, recipients).ok());
    std::remove(plain.c_str());
    ring().setPassphrase(passphrase);
    LogCapture log;
    const Outcome decrypted = ops.Decrypt(plain + ".gpg");
    if (decrypted.ok()) {
      EXPECT_EQ(ReadFile(plain), "upkeep\n");
    }
    return log.text();
  }
  // Field i of the colon listing's first line of that kind ("pub", "sub").
  std::string ListingField(const std::string& fingerprint, const std::string& kind, int field) {
    const ProcessResult listed = ring().gpg({"--with-colons", "--list-keys", fingerprint});
    std::istringstream lines(listed.out);
    for (std::string line; std::getline(lines, line);) {
      if (!line.starts_with(kind + ":")) continue;
      std::istringstream fields(line);
      std::string value;
      for (int i = 0; i <= field && std::getline(fields, value, ':'); ++i) {
      }
      return value;
    }
    return "<none>";
  }

  GpgmeContext ctx;
  int m_files = 0;
};

std::string Decrypting(const std::string& path) { return "Decrypting \"" + path + "\"...\n"; }

}  // namespace

// ---- Passphrase

TEST_F(KeyUpkeep, APassphraseChangeCancelledInThePinentryKeepsTheOldOne) {
  CKeyHandle key = Key(ring().fingerprint("secret"));
  ring().setPassphrase(std::nullopt);
  LogCapture log;
  const Outcome changed = ChangePassphrase(ctx.get(), key.get());
  EXPECT_FALSE(changed.ok()) << changed;
  const std::string text = log.take();
  EXPECT_TRUE(text.starts_with("Changing the passphrase of " + ring().fingerprint("secret") +
                               "...\nError: "))
      << text;
  const std::string plain = ring().path("plain-1.txt");
  EXPECT_EQ(RoundTrip("secret", kSecretPassphrase), Decrypting(plain + ".gpg") + "Done.\n");
}

TEST_F(KeyUpkeep, APassphraseChangeWithAWrongOldPassphraseIsRefusedAndKeepsTheOldOne) {
  CKeyHandle key = Key(ring().fingerprint("secret"));
  ring().setPassphrase("not the passphrase");
  LogCapture log;
  const Outcome changed = ChangePassphrase(ctx.get(), key.get());
  EXPECT_FALSE(changed.ok()) << changed;
  EXPECT_EQ(changed.message, IDS_ERROR) << changed;
  const std::string plain = ring().path("plain-1.txt");
  EXPECT_EQ(RoundTrip("secret", kSecretPassphrase), Decrypting(plain + ".gpg") + "Done.\n");
}

TEST_F(KeyUpkeep, AChangedPassphraseDecryptsAndTheOldOneNoLonger) {
  CKeyHandle key = Key(ring().fingerprint("secret"));
  // The old passphrase first; every prompt after it gets the new one (GnuPG changes the subkey
  // after the primary key and, as the agent of the test caches nothing, may ask for the new
  // passphrase once more).
  ring().queuePassphrases({kSecretPassphrase});
  ring().setPassphrase("new battery staple 7");
  LogCapture log;
  const Outcome changed = ChangePassphrase(ctx.get(), key.get());
  EXPECT_TRUE(changed.ok()) << changed;
  EXPECT_EQ(log.take(),
            "Changing the passphrase of " + ring().fingerprint("secret") + "...\nDone.\n");
  // The agent keeps a changed passphrase for the rest of its second even with a cache time of
  // 0; the old passphrase must be tried on what is on disk.
  const ProcessResult flushed =
      RunProcess({"gpg-connect-agent", "--homedir", ring().home(), "reloadagent", "/bye"});
  ASSERT_EQ(flushed.exitCode, 0) << flushed;
  EXPECT_NE(RoundTrip("secret", kSecretPassphrase).find("Error: "), std::string::npos)
      << ring().pinentryLog();
  EXPECT_FALSE(Exists(ring().path("plain-1.txt")));
  EXPECT_EQ(RoundTrip("secret", "new battery staple 7"),
            Decrypting(ring().path("plain-2.txt.gpg")) + "Done.\n");
}

// ---- Expiry

TEST_F(KeyUpkeep, AnExpiryInThePastIsRefusedBeforeTheEngine) {
  CKeyHandle key = Key(ring().fingerprint("alice"));
  const std::string before = ListingField(ring().fingerprint("alice"), "pub", 6);
  const std::int64_t now = Now();
  LogCapture log;
  const Outcome changed = ChangeExpiry(ctx.get(), key.get(), now - 86400, now);
  EXPECT_FALSE(changed.ok());
  EXPECT_EQ(changed.message, IDS_EXPIRY_NOT_FUTURE);
  EXPECT_EQ(log.text(), "Error: the expiry " + FormatDate(now - 86400) +
                            " is not in the future; the key's expiry stays as it was\n");
  EXPECT_EQ(ListingField(ring().fingerprint("alice"), "pub", 6), before);
  // The present second is not in the future either.
  EXPECT_FALSE(ChangeExpiry(ctx.get(), key.get(), now, now).ok());
}

TEST_F(KeyUpkeep, AnExpiryChangeReachesThePrimaryKeyAndItsSubkeyAndNeverTakesItAway) {
  CKeyHandle key = Key(ring().fingerprint("alice"));
  const std::int64_t expires = EndOfDay(2040, 1, 2);
  LogCapture log;
  const Outcome changed = ChangeExpiry(ctx.get(), key.get(), expires, Now());
  EXPECT_TRUE(changed.ok()) << changed;
  EXPECT_EQ(log.take(),
            "Changing the expiry of " + ring().fingerprint("alice") + " to 2040-01-02...\nDone.\n");
  CKeyHandle fresh = ReloadKey(ctx.get(), key.get());
  ASSERT_TRUE(fresh);
  EXPECT_EQ(FormatDate(fresh.get()->subkeys->expires), "2040-01-02");
  // Within the last hour of the day, however long gpg took to start.
  EXPECT_LE(fresh.get()->subkeys->expires, expires);
  EXPECT_GT(fresh.get()->subkeys->expires, expires - 3600);
  ASSERT_NE(fresh.get()->subkeys->next, nullptr);
  EXPECT_EQ(FormatDate(fresh.get()->subkeys->next->expires), "2040-01-02");

  EXPECT_TRUE(ChangeExpiry(ctx.get(), fresh.get(), 0, Now()).ok());
  EXPECT_EQ(log.take(),
            "Changing the expiry of " + ring().fingerprint("alice") + " to never...\nDone.\n");
  EXPECT_EQ(ListingField(ring().fingerprint("alice"), "pub", 6), "");
  EXPECT_EQ(ListingField(ring().fingerprint("alice"), "sub", 6), "");
}

TEST(KeyUpkeepDates, TheEndOfADayIsItsLastSecondInUtc) {
  EXPECT_EQ(EndOfDay(1970, 1, 1), 86399);
  EXPECT_EQ(EndOfDay(2000, 3, 1), 951955199);  // after a leap day of a century divisible by 400
  EXPECT_EQ(FormatDate(EndOfDay(2016, 5, 2)), "2016-05-02");
  EXPECT_EQ(FormatDate(EndOfDay(2016, 5, 2) + 1), "2016-05-03");
}

// ---- Owner trust

TEST_F(KeyUpkeep, OwnerTrustIsSetToEachValueAndReadBack) {
  const struct {
    OwnerTrust trust;
    gpgme_validity_t read;
  } cases[] = {{OwnerTrust::Marginal, GPGME_VALIDITY_MARGINAL},
               {OwnerTrust::None, GPGME_VALIDITY_NEVER},
               {OwnerTrust::Full, GPGME_VALIDITY_FULL},
               {OwnerTrust::Unknown, GPGME_VALIDITY_UNKNOWN},
               {OwnerTrust::Ultimate, GPGME_VALIDITY_ULTIMATE}};
  CKeyHandle key = Key(ring().fingerprint("bob"));
  for (const auto& c : cases) {
    SCOPED_TRACE(OwnerTrustName(c.trust));
    LogCapture log;
    const Outcome set = SetOwnerTrust(ctx.get(), key.get(), c.trust);
    EXPECT_TRUE(set.ok()) << set;
    EXPECT_EQ(log.text(), "Setting the owner trust of " + ring().fingerprint("bob") + " to " +
                              OwnerTrustName(c.trust) + "...\nDone.\n");
    key = ReloadKey(ctx.get(), key.get());
    ASSERT_TRUE(key);
    EXPECT_EQ(key.get()->owner_trust, c.read);
  }
}

TEST_F(KeyUpkeep, ATrustChangeOnAKeyThatGpgChangedMeanwhileKeepsBothChanges) {
  CKeyHandle key = Key(ring().fingerprint("alice"));
  // Another program adds a user id and sets an expiry after Zembra read the key.
  ProcessResult added =
      ring().gpg({"--quick-add-uid", ring().fingerprint("alice"), "Alice Two <two@example.org>"});
  ASSERT_EQ(added.exitCode, 0) << added;
  ProcessResult expired =
      ring().gpg({"--quick-set-expire", ring().fingerprint("alice"), "2041-05-06"});
  ASSERT_EQ(expired.exitCode, 0) << expired;
  const Outcome set = SetOwnerTrust(ctx.get(), key.get(), OwnerTrust::Marginal);
  EXPECT_TRUE(set.ok()) << set;
  CKeyHandle fresh = ReloadKey(ctx.get(), key.get());
  ASSERT_TRUE(fresh);
  EXPECT_EQ(fresh.get()->owner_trust, GPGME_VALIDITY_MARGINAL);
  std::vector<std::string> uids;
  for (gpgme_user_id_t uid = fresh.get()->uids; uid; uid = uid->next) uids.push_back(uid->uid);
  std::sort(uids.begin(), uids.end());
  EXPECT_EQ(uids,
            (std::vector<std::string>{"Alice <alice@example.org>", "Alice Two <two@example.org>"}));
  EXPECT_EQ(FormatDate(fresh.get()->subkeys->expires), "2041-05-06");
  EXPECT_EQ(ListingField(ring().fingerprint("alice"), "pub", 8), "m");
}

// ---- Revocation certificate

TEST_F(KeyUpkeep, TheKeptRevocationCertificateIsCopiedForItsOwnerAlone) {
  const std::string fpr = MakeKey(ring(), "Rev <rev@example.org>");
  const std::string kept = ring().home() + "/openpgp-revocs.d/" + fpr + ".rev";
  ASSERT_TRUE(Exists(kept));
  CKeyHandle key = Key(fpr);
  const std::string path = ring().path("rev.asc");
  LogCapture log;
  const Outcome exported = ExportRevocationCertificate(ctx.get(), key.get(), path);
  EXPECT_TRUE(exported.ok()) << exported;
  EXPECT_EQ(exported.output, path);
  EXPECT_EQ(log.text(),
            "Exporting the revocation certificate of " + fpr + " to \"" + path + "\"\nDone.\n");
  EXPECT_EQ(ReadFile(path), ReadFile(kept));
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(st.st_mode & 0777 & ~(0666 & ~mask), 0u) << std::oct << st.st_mode;
  EXPECT_EQ(st.st_mode & 077, 0u) << std::oct << st.st_mode;
}

TEST_F(KeyUpkeep, AKeyWithoutAKeptRevocationCertificateSaysSoAndWritesNothing) {
  CKeyHandle key = Key(ring().fingerprint("alice"));
  const std::string path = ring().path("rev.asc");
  const std::vector<std::string> before = FolderNames(ring().folder());
  LogCapture log;
  const Outcome exported = ExportRevocationCertificate(ctx.get(), key.get(), path);
  EXPECT_FALSE(exported.ok());
  EXPECT_EQ(log.text(), "Error: GnuPG keeps no revocation certificate for " +
                            ring().fingerprint("alice") +
                            "; it keeps one only for the keys it made itself\n");
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(FolderNames(ring().folder()), before);
}
