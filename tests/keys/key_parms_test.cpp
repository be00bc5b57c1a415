// The key generation parameter block, byte for byte, and the fields it refuses.
#include <gtest/gtest.h>

#include <string>

#include "zembra/keys/key_generation.h"
#include "zembra/keys/key_parms.h"

namespace {

KeyParms Defaults() {
  KeyParms p;
  p.keyType = "RSA";
  p.keyLength = 2048;
  p.subkeyType = "default";
  p.subkeyLength = 2048;
  p.name = "Alice Example";
  p.email = "alice@example.org";
  p.expiry = "0";
  p.passphrase = "secret words";
  return p;
}

std::string Built(const KeyParms& p) {
  const KeyParmsBlock block = BuildKeyParms(p);
  EXPECT_TRUE(block.ok()) << block;
  return block.text;
}

}  // namespace

TEST(KeyParms, DefaultsGiveTenLinesWithoutAComment) {
  EXPECT_EQ(Built(Defaults()),
            "<GnupgKeyParms format=\"internal\">\n"
            "Key-Type: RSA\n"
            "Key-Length: 2048\n"
            "Subkey-Type: default\n"
            "Subkey-Length: 2048\n"
            "Name-Real: Alice Example\n"
            "Name-Email: alice@example.org\n"
            "Expire-Date: 0\n"
            "Passphrase: secret words\n"
            "</GnupgKeyParms>\n");
}

TEST(KeyParms, DsaAndTheLengthOfBothKeys) {
  KeyParms p = Defaults();
  p.keyType = "DSA";
  p.keyLength = p.subkeyLength = 3072;
  const std::string block = Built(p);
  EXPECT_NE(block.find("\nKey-Type: DSA\nKey-Length: 3072\nSubkey-Type: default\n"
                       "Subkey-Length: 3072\n"),
            std::string::npos)
      << block;
}

TEST(KeyParms, MissingTypesAreWrittenAsDefault) {
  KeyParms p = Defaults();
  p.keyType.clear();
  p.subkeyType.clear();
  const std::string block = Built(p);
  EXPECT_NE(block.find("\nKey-Type: default\nKey-Length: 2048\nSubkey-Type: default\n"),
            std::string::npos)
      << block;
}

TEST(KeyParms, ACommentIsQuotedBetweenEmailAndExpiry) {
  KeyParms p = Defaults();
  p.comment = "work";
  const std::string block = Built(p);
  EXPECT_NE(block.find("Name-Email: alice@example.org\nName-Comment: \"work\"\nExpire-Date: 0\n"),
            std::string::npos)
      << block;
}

// GnuPG refuses "Passphrase:" without a value ("missing argument"): an empty passphrase asks for
// an unprotected key instead; the other empty fields stay empty values.
TEST(KeyParms, NonAsciiTextArrivesAsUtf8AndAnEmptyPassphraseAsksForNoProtection) {
  KeyParms p = Defaults();
  p.name = "J\xC3\xBCrgen M\xC3\xBCller";
  p.email.clear();
  p.passphrase.clear();
  const std::string block = Built(p);
  EXPECT_NE(block.find("\nName-Real: J\xC3\xBCrgen M\xC3\xBCller\nName-Email: \n"),
            std::string::npos);
  EXPECT_NE(block.find("\nExpire-Date: 0\n%no-protection\n</GnupgKeyParms>\n"), std::string::npos)
      << block;
  EXPECT_EQ(block.find("Passphrase:"), std::string::npos) << block;
}

// ---- The algorithm box's entries and their blocks

KeyParms WithAlgorithm(KeyAlgorithm algorithm, int length = 2048) {
  KeyParms p = Defaults();
  SetKeyAlgorithm(p, algorithm, length);
  return p;
}

TEST(KeyParms, TheModernChoiceIsEdDsaOnEd25519WithAnEcdhSubkeyOnCv25519) {
  EXPECT_EQ(Built(WithAlgorithm(KeyAlgorithm::Curve25519)),
            "<GnupgKeyParms format=\"internal\">\n"
            "Key-Type: EdDSA\n"
            "Key-Curve: ed25519\n"
            "Subkey-Type: ECDH\n"
            "Subkey-Curve: cv25519\n"
            "Name-Real: Alice Example\n"
            "Name-Email: alice@example.org\n"
            "Expire-Date: 0\n"
            "Passphrase: secret words\n"
            "</GnupgKeyParms>\n");
  // The length box does not apply.
  EXPECT_EQ(Built(WithAlgorithm(KeyAlgorithm::Curve25519, 1024)),
            Built(WithAlgorithm(KeyAlgorithm::Curve25519, 3072)));
}

TEST(KeyParms, Rsa3072AndRsa4096NameTheirSizeForBothKeys) {
  EXPECT_EQ(Built(WithAlgorithm(KeyAlgorithm::Rsa3072, 1024)),
            "<GnupgKeyParms format=\"internal\">\n"
            "Key-Type: RSA\n"
            "Key-Length: 3072\n"
            "Subkey-Type: RSA\n"
            "Subkey-Length: 3072\n"
            "Name-Real: Alice Example\n"
            "Name-Email: alice@example.org\n"
            "Expire-Date: 0\n"
            "Passphrase: secret words\n"
            "</GnupgKeyParms>\n");
  KeyParms p = WithAlgorithm(KeyAlgorithm::Rsa4096, 1536);
  p.comment = "home";
  p.passphrase.clear();
  p.expiry = "20310203T040506";
  EXPECT_EQ(Built(p),
            "<GnupgKeyParms format=\"internal\">\n"
            "Key-Type: RSA\n"
            "Key-Length: 4096\n"
            "Subkey-Type: RSA\n"
            "Subkey-Length: 4096\n"
            "Name-Real: Alice Example\n"
            "Name-Email: alice@example.org\n"
            "Name-Comment: \"home\"\n"
            "Expire-Date: 20310203T040506\n"
            "%no-protection\n"
            "</GnupgKeyParms>\n");
}

TEST(KeyParms, TheOriginalEntriesKeepTheirBlocksAndTheLengthBoxSize) {
  EXPECT_EQ(Built(WithAlgorithm(KeyAlgorithm::Rsa)), Built(Defaults()));
  KeyParms dsa = Defaults();
  dsa.keyType = "DSA";
  dsa.keyLength = dsa.subkeyLength = 3072;
  EXPECT_EQ(Built(WithAlgorithm(KeyAlgorithm::Dsa, 3072)), Built(dsa));
  // Switching from a curve back to RSA leaves no curve behind.
  KeyParms p = WithAlgorithm(KeyAlgorithm::Curve25519);
  SetKeyAlgorithm(p, KeyAlgorithm::Rsa, 2048);
  EXPECT_EQ(Built(p), Built(Defaults()));
}

TEST(KeyParms, TheBoxEntriesInTheirOrderAndWhichFixTheirSize) {
  EXPECT_EQ(KeyAlgorithmOfEntry(0), KeyAlgorithm::Rsa);
  EXPECT_EQ(KeyAlgorithmOfEntry(1), KeyAlgorithm::Dsa);
  EXPECT_EQ(KeyAlgorithmOfEntry(2), KeyAlgorithm::Curve25519);
  EXPECT_EQ(KeyAlgorithmOfEntry(3), KeyAlgorithm::Rsa3072);
  EXPECT_EQ(KeyAlgorithmOfEntry(4), KeyAlgorithm::Rsa4096);
  // No entry chosen (typed text) gives DSA, as it always did.
  EXPECT_EQ(KeyAlgorithmOfEntry(-1), KeyAlgorithm::Dsa);
  EXPECT_EQ(KeyAlgorithmOfEntry(5), KeyAlgorithm::Dsa);
  EXPECT_FALSE(FixesKeySize(KeyAlgorithm::Rsa));
  EXPECT_FALSE(FixesKeySize(KeyAlgorithm::Dsa));
  EXPECT_TRUE(FixesKeySize(KeyAlgorithm::Curve25519));
  EXPECT_TRUE(FixesKeySize(KeyAlgorithm::Rsa3072));
  EXPECT_TRUE(FixesKeySize(KeyAlgorithm::Rsa4096));
}

TEST(KeyParms, ExpiryOfACalendarDate) {
  SYSTEMTIME date;
  date.wYear = 2017;
  date.wMonth = 12;
  date.wDay = 31;
  EXPECT_EQ(ExpiryText(date), "20171231T000000");
  date.wYear = 2031;
  date.wMonth = 2;
  date.wDay = 3;
  date.wHour = 4;
  date.wMinute = 5;
  date.wSecond = 6;
  EXPECT_EQ(ExpiryText(date), "20310203T040506");
}

// A line break in a value would start a parameter of the user's choosing.
TEST(KeyParms, ALineBreakInAnyFieldInjectsNothing) {
  const struct {
    std::string KeyParms::*member;
    KeyField field;
  } cases[] = {{&KeyParms::name, KeyField::Name},
               {&KeyParms::email, KeyField::Email},
               {&KeyParms::comment, KeyField::Comment},
               {&KeyParms::passphrase, KeyField::Passphrase}};
  for (const auto& c : cases) {
    for (const std::string& breaker :
         {std::string("\n"), std::string("\r"), std::string(1, '\0')}) {
      KeyParms p = Defaults();
      p.*c.member = "x" + breaker + "Passphrase: injected";
      const KeyParmsBlock block = BuildKeyParms(p);
      EXPECT_EQ(block.refusal, KeyParmsBlock::Refusal::LineBreak) << block;
      EXPECT_EQ(block.field, c.field) << block;
      EXPECT_EQ(block.text, "");
    }
  }
  KeyParms p = Defaults();
  p.comment = "a\nb";
  EXPECT_EQ(KeyParmsRefusalText(BuildKeyParms(p)),
            "The field \"Comment\" must not contain a line break or a NUL character.");
}

TEST(KeyParms, ABlockOfExactly2047BytesFitsAndOneMoreIsRefused) {
  KeyParms p = Defaults();
  const std::size_t base = Built(p).size();
  p.passphrase += std::string(kKeyParmsSize - 1 - base, 'p');
  EXPECT_EQ(Built(p).size(), kKeyParmsSize - 1);
  p.passphrase += "p";
  const KeyParmsBlock block = BuildKeyParms(p);
  EXPECT_EQ(block.refusal, KeyParmsBlock::Refusal::TooLong);
  EXPECT_EQ(block.field, KeyField::Passphrase);
  EXPECT_EQ(block.text, "");
}

TEST(KeyParms, TheFieldThatMakesTheBlockTooLongIsNamed) {
  KeyParms p = Defaults();
  p.name = std::string(1500, 'n');
  p.email = std::string(600, 'e');  // with the name, past the limit
  p.comment = std::string(100, 'c');
  KeyParmsBlock block = BuildKeyParms(p);
  EXPECT_EQ(block.field, KeyField::Email) << block;
  EXPECT_EQ(KeyParmsRefusalText(block),
            "The field \"E-mail\" makes the key parameters longer than 2048 bytes. "
            "Please shorten it.");
  p.email = "e@x";
  p.comment = std::string(600, 'c');
  EXPECT_EQ(BuildKeyParms(p).field, KeyField::Comment);
  p.name = std::string(3000, 'n');
  EXPECT_EQ(BuildKeyParms(p).field, KeyField::Name);
}
