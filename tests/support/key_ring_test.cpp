// The key-ring fixture itself: what it imports, what its pinentry answers, and what it leaves
// behind (nothing).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "platform/core/registry.h"
#include "tests/support/key_ring.h"

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::UnorderedElementsAreArray;

namespace {

std::vector<std::string> AllFingerprints() {
  std::vector<std::string> result;
  for (const TestKey& key : TestKeys()) result.push_back(key.fingerprint);
  return result;
}

// The fields of the "pub" line of a key in gpg's colon listing.
std::vector<std::string> PubFields(const KeyRing& ring, const std::string& name) {
  ProcessResult listing = ring.gpg({"--with-colons", "--list-keys", ring.fingerprint(name)});
  std::istringstream in(listing.out);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("pub:", 0) != 0) continue;
    std::vector<std::string> fields;
    std::istringstream parts(line);
    for (std::string field; std::getline(parts, field, ':');) fields.push_back(field);
    return fields;
  }
  return {};
}

std::string Validity(const KeyRing& ring, const std::string& name) {
  auto fields = PubFields(ring, name);
  return fields.size() > 1 ? fields[1] : "";
}
std::string Capabilities(const KeyRing& ring, const std::string& name) {
  auto fields = PubFields(ring, name);
  return fields.size() > 11 ? fields[11] : "";
}

}  // namespace

TEST(TestKeys, ManifestNamesEveryKeyWithItsFiles) {
  std::vector<std::string> names;
  for (const TestKey& key : TestKeys()) {
    names.push_back(key.name);
    EXPECT_EQ(key.fingerprint.size(), 40u) << key;
    EXPECT_EQ(key.keyId, key.fingerprint.substr(24)) << key;
    EXPECT_TRUE(fs::exists(TestKeyFolder() + "/" + key.name + ".sec.asc")) << key;
    EXPECT_TRUE(fs::exists(TestKeyFolder() + "/" + key.name + ".pub.asc")) << key;
  }
  EXPECT_THAT(names,
              UnorderedElementsAreArray({"alice", "bob", "carol", "dave", "signer", "encrypter",
                                         "revoked", "expired", "secret", "juergen"}));
  EXPECT_EQ(TestKeyNamed("juergen").userId, "J\xC3\xBCrgen M\xC3\xBCller <juergen@example.org>");
  EXPECT_EQ(TestKeyNamed("signer").subkeyId, "");
  EXPECT_THROW(TestKeyNamed("mallory"), std::invalid_argument);
}

class KeyRingAllKeys : public KeyRingTest {};

TEST_F(KeyRingAllKeys, ImportsEveryKeyWithSecretAndOwnertrust) {
  EXPECT_THAT(ring().publicFingerprints(), UnorderedElementsAreArray(AllFingerprints()));
  EXPECT_THAT(ring().secretFingerprints(), UnorderedElementsAreArray(AllFingerprints()));
  std::string trust = ring().gpg({"--export-ownertrust"}).out;
  for (const TestKey& key : TestKeys()) EXPECT_THAT(trust, HasSubstr(key.fingerprint + ":6:"));
}

TEST_F(KeyRingAllKeys, KeysHaveTheStatesTheirNamesPromise) {
  EXPECT_EQ(Validity(ring(), "alice"), "u");
  EXPECT_EQ(Validity(ring(), "revoked"), "r");
  EXPECT_EQ(Validity(ring(), "expired"), "e");
  // Capital letters: what the key as a whole can do.
  EXPECT_THAT(Capabilities(ring(), "alice"), HasSubstr("ESC"));
  EXPECT_THAT(Capabilities(ring(), "dave"), HasSubstr("ESC"));
  EXPECT_THAT(Capabilities(ring(), "signer"), Not(HasSubstr("E")));
  EXPECT_THAT(Capabilities(ring(), "signer"), HasSubstr("S"));
  EXPECT_THAT(Capabilities(ring(), "encrypter"), HasSubstr("E"));
  EXPECT_THAT(Capabilities(ring(), "encrypter"), Not(HasSubstr("S")));
  EXPECT_EQ(PubFields(ring(), "dave").at(16), "ed25519");
  std::string listing =
      ring().gpg({"--with-colons", "--list-keys", ring().fingerprint("juergen")}).out;
  EXPECT_THAT(listing, HasSubstr("J\xC3\xBCrgen M\xC3\xBCller <juergen@example.org>"));
}

TEST_F(KeyRingAllKeys, DisableMarksTheKeyDisabled) {
  EXPECT_THAT(Capabilities(ring(), "bob"), Not(HasSubstr("D")));
  ring().disable("bob");
  EXPECT_THAT(Capabilities(ring(), "bob"), HasSubstr("D"));
  EXPECT_THAT(Capabilities(ring(), "alice"), Not(HasSubstr("D")));
}

TEST_F(KeyRingAllKeys, ScriptedPinentryAnswersWithThePassphraseOrCancels) {
  std::string signature = ring().path("signed.gpg");
  std::vector<std::string> sign = {"--yes",    "--local-user", ring().fingerprint("secret"),
                                   "--output", signature,      "--sign"};
  ProcessResult cancelled = ring().gpg(sign, "text");
  EXPECT_NE(cancelled.exitCode, 0) << cancelled;
  EXPECT_THAT(cancelled.err, HasSubstr("Operation cancelled"));
  EXPECT_THAT(ring().pinentryLog(), HasSubstr("GETPIN"));

  ring().setPassphrase("wrong horse");
  EXPECT_NE(ring().gpg(sign, "text").exitCode, 0);

  ring().setPassphrase(kSecretPassphrase);
  ProcessResult signedText = ring().gpg(sign, "text");
  EXPECT_EQ(signedText.exitCode, 0) << signedText;
  EXPECT_EQ(ring().gpg({"--verify", signature}).exitCode, 0);

  // Nothing is cached: without the file the next signing is cancelled again.
  ring().setPassphrase(std::nullopt);
  EXPECT_NE(ring().gpg(sign, "text").exitCode, 0);
}

TEST(KeyRing, ChosenKeysOnlyAndPublicOnly) {
  KeyRing ring({.keys = {"bob", "dave"}, .secret = false});
  EXPECT_THAT(ring.publicFingerprints(),
              UnorderedElementsAreArray({ring.fingerprint("bob"), ring.fingerprint("dave")}));
  EXPECT_THAT(ring.secretFingerprints(), IsEmpty());
  ring.importKeys({"alice"});
  EXPECT_THAT(ring.secretFingerprints(), UnorderedElementsAreArray({ring.fingerprint("alice")}));
}

TEST(KeyRing, EmptyRingHasNoKeys) {
  KeyRing ring({.empty = true});
  EXPECT_THAT(ring.publicFingerprints(), IsEmpty());
  EXPECT_TRUE(fs::exists(ring.home() + "/gpg-agent.conf"));
}

TEST(KeyRing, PointsTheEnvironmentAndTheRegistryIntoItsFolder) {
  const char* before = getenv("GNUPGHOME");
  std::string oldHome = before ? before : "<unset>";
  {
    KeyRing ring({.keys = {"alice"}, .secret = false});
    EXPECT_EQ(std::string(getenv("GNUPGHOME")), ring.home());
    EXPECT_EQ(std::string(getenv("ZEMBRA_REGISTRY_DIR")), ring.registryDir());
    EXPECT_EQ(std::string(getenv("HOME")).rfind(ring.folder() + "/", 0), 0u);
    EXPECT_EQ(std::string(getenv("XDG_CONFIG_HOME")).rfind(ring.folder() + "/", 0), 0u);
    EXPECT_EQ(ring.home().rfind("/tmp/zk-", 0), 0u);
    EXPECT_EQ(fs::status(ring.home()).permissions() & fs::perms::all, fs::perms::owner_all);

    RegKey key;
    ASSERT_EQ(
        RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvel Ltd\\Zembra", 0, KEY_READ, key.put()),
        ERROR_SUCCESS);
    char value[16] = {};
    DWORD size = sizeof value;
    ASSERT_EQ(
        RegQueryValueEx(key.get(), "Type", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size),
        ERROR_SUCCESS);
    EXPECT_STREQ(value, "Full");
  }
  const char* after = getenv("GNUPGHOME");
  EXPECT_EQ(after ? std::string(after) : "<unset>", oldHome);
}

TEST(KeyRing, PortableRingWritesNoInstallationType) {
  KeyRing ring({.keys = {"alice"}, .secret = false, .fullInstall = false});
  RegKey key;
  EXPECT_NE(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvel Ltd\\Zembra", 0, KEY_READ, key.put()),
            ERROR_SUCCESS);
}

TEST(KeyRing, DestructorStopsTheAgentAndRemovesTheFolder) {
  std::string folder, home;
  int agent = 0;
  {
    KeyRing ring({.keys = {"alice"}});  // importing a secret key starts the agent
    folder = ring.folder();
    home = ring.home();
    ProcessResult pid = RunProcess(
        {"gpg-connect-agent", "--homedir", home, "--no-autostart", "GETINFO pid", "/bye"});
    ASSERT_EQ(pid.out.rfind("D ", 0), 0u) << pid;
    agent = std::stoi(pid.out.substr(2));
    EXPECT_TRUE(ProcessAlive(agent));
    EXPECT_THAT(DaemonsOf(home), testing::Contains(agent));
  }
  EXPECT_FALSE(ProcessAlive(agent));
  EXPECT_THAT(DaemonsOf(home), IsEmpty());
  EXPECT_FALSE(fs::exists(folder));
}
