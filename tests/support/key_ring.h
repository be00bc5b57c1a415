// The key-ring fixture of the GPGME tests: a temporary GnuPG home holding keys made once by
// scripts/make-test-keys.sh (tests/fixtures/keys/), so that no test but those about key creation
// has to generate a key.
//
//   KeyRing ring;                                  // all keys, secret parts, ownertrust
//   KeyRing ring({.keys = {"alice", "bob"}});      // only these
//   KeyRing ring({.keys = {"bob"}, .secret = false});  // bob's public key only
//   KeyRing ring({.empty = true});                 // no keys
//
// While it lives, the process's environment points at it: GNUPGHOME (the home), HOME and
// XDG_CONFIG_HOME (inside the folder, so nothing reads or writes the user's own files), and
// ZEMBRA_REGISTRY_DIR (inside the folder) with HKLM "SOFTWARE\Orvel Ltd\Zembra" "Type" = "Full",
// so that the engine uses GPGME's default home, which is this one. Its agent asks a scripted
// pinentry (tests/support/pinentry-scripted.sh), which answers with passphrase() or cancels.
// The destructor stops the home's gpg-agent, removes the folder and puts the environment back.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/run_process.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_folder.h"

// One line of tests/fixtures/keys/keys.txt.
struct TestKey {
  std::string name;                     // "alice"
  std::string fingerprint;              // 40 hex digits, upper case
  std::string keyId;                    // the last 16 of them
  std::string subkeyId;                 // key id of the encryption subkey; "" when there is none
  std::vector<std::string> properties;  // "sign", "encrypt", "revoked", "expired", ...
  std::string userId;                   // "Alice <alice@example.org>", UTF-8

  bool has(const std::string& property) const;
};
std::ostream& operator<<(std::ostream& os, const TestKey& key);

// Every key of the manifest, in its order.
const std::vector<TestKey>& TestKeys();
// The key of that name; throws for an unknown name.
const TestKey& TestKeyNamed(const std::string& name);
// The folder of the exported keys (tests/fixtures/keys).
std::string TestKeyFolder();
// The passphrase of the key "secret".
inline constexpr const char* kSecretPassphrase = "correct horse";

struct KeyRingOptions {
  std::vector<std::string> keys = {};  // names of the keys to import; empty: all of them
  bool empty = false;                  // an empty key ring instead (keys is ignored)
  bool secret = true;                  // import secret keys; false: the public keys only
  bool ownertrust = true;              // import their ownertrust (ultimate)
  bool fullInstall = true;             // write HKLM ...\Zembra "Type" = "Full"
};

class KeyRing {
 public:
  explicit KeyRing(const KeyRingOptions& options = {});
  ~KeyRing();
  KeyRing(const KeyRing&) = delete;
  KeyRing& operator=(const KeyRing&) = delete;

  // The temporary folder ("/tmp/zk-XXXXXX"); tests put their files here.
  const std::string& folder() const { return m_folder.path(); }
  std::string path(const std::string& relative) const { return m_folder.path(relative); }
  // The GnuPG home (GNUPGHOME), folder() + "/g".
  const std::string& home() const { return m_home; }
  // The registry folder (ZEMBRA_REGISTRY_DIR), folder() + "/registry".
  std::string registryDir() const { return path("registry"); }

  std::string fingerprint(const std::string& name) const { return TestKeyNamed(name).fingerprint; }
  std::string keyId(const std::string& name) const { return TestKeyNamed(name).keyId; }
  const TestKey& key(const std::string& name) const { return TestKeyNamed(name); }

  // Runs gpg --homedir home() --batch --no-tty with the arguments. Never give it
  // "--output /dev/null": gpg removes its output file when it fails, and as root that is the
  // device itself.
  ProcessResult gpg(const std::vector<std::string>& args, const std::string& input = {}) const;
  // gpg --with-colons --list-keys / --list-secret-keys: the fingerprints in the home, in order.
  std::vector<std::string> publicFingerprints() const;
  std::vector<std::string> secretFingerprints() const;

  // Imports more keys of the manifest in one gpg call (with ownertrust when asked).
  void importKeys(const std::vector<std::string>& names, bool secret = true,
                  bool ownertrust = true);
  // Marks the key disabled, as "gpg --edit-key FPR disable" does (a state no export carries).
  void disable(const std::string& name);

  // What the scripted pinentry answers from now on; nullopt: it cancels.
  void setPassphrase(const std::optional<std::string>& passphrase);
  // Answers for the next passphrase prompts, one each, before setPassphrase()'s answer again.
  void queuePassphrases(const std::vector<std::string>& passphrases);
  // Every command the pinentry received, one a line ("" when it was never asked).
  std::string pinentryLog() const;

 private:
  TempFolder m_folder;
  std::string m_home;
  std::vector<std::unique_ptr<ScopedEnv>> m_env;

  void writeAgentConf() const;
  void writeInstallType() const;
  void stopAgent() const;
};

// The user's settings as a user left them in an earlier run: the key named as the default key,
// "Use default keys" on (in the hives the ring's environment names).
void UseDefaultKeys(const KeyRing& ring, const std::string& name);

// Process ids of the live gpg-agent, dirmngr and scdaemon processes that serve the home.
std::vector<int> DaemonsOf(const std::string& home);
// True while the process runs (a zombie has ended).
bool ProcessAlive(int pid);

// Base of a test that needs a key ring: a fresh one for every test. Override keyRingOptions()
// to choose the keys.
class KeyRingTest : public ::testing::Test {
 protected:
  virtual KeyRingOptions keyRingOptions() const { return {}; }
  void SetUp() override { m_ring = std::make_unique<KeyRing>(keyRingOptions()); }
  void TearDown() override { m_ring.reset(); }
  KeyRing& ring() { return *m_ring; }

 private:
  std::unique_ptr<KeyRing> m_ring;
};
