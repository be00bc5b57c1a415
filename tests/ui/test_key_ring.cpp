#include "tests/ui/test_key_ring.h"

#include <cstdlib>

#include "platform/core/registry.h"

namespace {

int Gpg(const std::string& home, const std::string& args) {
  const std::string command =
      "gpg --homedir '" + home + "' --batch --yes --quiet " + args + " >/dev/null 2>&1";
  return std::system(command.c_str());
}

class KeyHome : public ::testing::Environment {
 public:
  const std::string& path() {
    if (m_path.empty()) Make();
    return m_path;
  }
  void TearDown() override {
    if (m_path.empty()) return;
    std::system(("gpgconf --homedir '" + m_path + "' --kill all >/dev/null 2>&1").c_str());
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
    m_path.clear();
  }

 private:
  void Make() {
    // Short, for the agent's socket path.
    char pattern[] = "/tmp/zu-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
    for (const char* uid : {"Alice Window <alice@example.org>", "Bob Window <bob@example.org>"}) {
      if (Gpg(m_path, std::string("--pinentry-mode loopback --passphrase '' --quick-gen-key '") +
                          uid + "' default default never") != 0) {
        throw std::runtime_error("gpg could not make a test key");
      }
    }
  }
  std::string m_path;
};

KeyHome* const g_keyHome =
    static_cast<KeyHome*>(::testing::AddGlobalTestEnvironment(new KeyHome));

}  // namespace

const std::string& TestKeyHome() { return g_keyHome->path(); }

FullInstallation::FullInstallation()
    : m_registry("ZEMBRA_REGISTRY_DIR", m_folder.path().string()),
      m_home("GNUPGHOME", TestKeyHome()) {
  RegKey key;
  if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvel Ltd\\Zembra", 0, nullptr,
                     REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, key.put(),
                     nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot write the test registry");
  }
  const char full[] = "Full";
  RegSetValueEx(key.get(), "Type", 0, REG_SZ, reinterpret_cast<const BYTE*>(full), sizeof(full));
}
