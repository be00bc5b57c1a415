#include "tests/support/key_ring.h"

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/core/registry.h"
#include "zembra/keys/settings.h"

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  return parts;
}

std::vector<TestKey> LoadManifest() {
  std::ifstream in(TestKeyFolder() + "/keys.txt");
  if (!in) throw std::runtime_error("missing " + TestKeyFolder() + "/keys.txt");
  std::vector<TestKey> keys;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields = Split(line, '\t');
    if (fields.size() != 6) throw std::runtime_error("bad line in keys.txt: " + line);
    TestKey key;
    key.name = fields[0];
    key.fingerprint = fields[1];
    key.keyId = fields[2];
    key.subkeyId = fields[3] == "-" ? "" : fields[3];
    key.properties = Split(fields[4], ',');
    key.userId = fields[5];
    keys.push_back(std::move(key));
  }
  return keys;
}

std::string Quoted(const std::string& text) {
  std::string result = "'";
  for (char c : text) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return result + "'";
}

std::vector<std::string> FingerprintsOf(const std::string& colonListing) {
  std::vector<std::string> result;
  bool wantFpr = false;
  for (const std::string& line : Split(colonListing, '\n')) {
    std::vector<std::string> fields = Split(line, ':');
    if (fields.empty()) continue;
    if (fields[0] == "pub" || fields[0] == "sec")
      wantFpr = true;
    else if (fields[0] == "fpr" && wantFpr && fields.size() > 9) {
      result.push_back(fields[9]);
      wantFpr = false;
    }
  }
  return result;
}

std::string ReadSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

bool TestKey::has(const std::string& property) const {
  return std::find(properties.begin(), properties.end(), property) != properties.end();
}

std::ostream& operator<<(std::ostream& os, const TestKey& key) {
  return os << key.name << " " << key.fingerprint << " <" << key.userId << ">";
}

std::string TestKeyFolder() { return ZEMBRA_TEST_KEY_DIR; }

const std::vector<TestKey>& TestKeys() {
  static const std::vector<TestKey> keys = LoadManifest();
  return keys;
}

const TestKey& TestKeyNamed(const std::string& name) {
  for (const TestKey& key : TestKeys())
    if (key.name == name) return key;
  throw std::invalid_argument("no test key named " + name);
}

KeyRing::KeyRing(const KeyRingOptions& options) : m_home(m_folder.path("g")) {
  try {
    if (mkdir(m_home.c_str(), 0700) != 0) throw std::runtime_error("cannot make " + m_home);
    std::filesystem::create_directory(path("home"));
    std::filesystem::create_directory(path("home/.config"));
    std::filesystem::create_directory(registryDir());
    m_env.push_back(std::make_unique<ScopedEnv>("GNUPGHOME", m_home));
    m_env.push_back(std::make_unique<ScopedEnv>("HOME", path("home")));
    m_env.push_back(std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", path("home/.config")));
    m_env.push_back(std::make_unique<ScopedEnv>("ZEMBRA_REGISTRY_DIR", registryDir()));
    writeAgentConf();
    if (options.fullInstall) writeInstallType();

    std::vector<std::string> names = options.keys;
    if (names.empty())
      for (const TestKey& key : TestKeys()) names.push_back(key.name);
    if (!options.empty) importKeys(names, options.secret, options.ownertrust);
  } catch (...) {
    stopAgent();
    throw;
  }
}

KeyRing::~KeyRing() { stopAgent(); }

void KeyRing::writeAgentConf() const {
  // The agent starts the pinentry with its own environment, so the wrapper names the home.
  std::string wrapper = m_home + "/pinentry";
  WriteFile(wrapper,
            "#!/bin/sh\nexec " + Quoted(ZEMBRA_TEST_PINENTRY) + " " + Quoted(m_home) + "\n");
  chmod(wrapper.c_str(), 0700);
  // No passphrase cache: each operation that needs one asks the pinentry again, so what a test
  // set with setPassphrase() is what the next operation gets.
  WriteFile(m_home + "/gpg-agent.conf",
            "pinentry-program " + wrapper + "\ndefault-cache-ttl 0\nmax-cache-ttl 0\n");
}

void KeyRing::writeInstallType() const {
  RegKey key;
  LONG rc = RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvel Ltd\\Zembra", 0, nullptr,
                           REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.put(), nullptr);
  if (rc != ERROR_SUCCESS) throw std::runtime_error("cannot create the installation key");
  static const char kFull[] = "Full";
  rc = RegSetValueEx(key.get(), "Type", 0, REG_SZ, reinterpret_cast<const BYTE*>(kFull),
                     sizeof kFull);
  if (rc != ERROR_SUCCESS) throw std::runtime_error("cannot write the installation type");
}

ProcessResult KeyRing::gpg(const std::vector<std::string>& args, const std::string& input) const {
  std::vector<std::string> argv = {"gpg", "--homedir", m_home, "--batch", "--no-tty"};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv, input);
}

std::vector<std::string> KeyRing::publicFingerprints() const {
  return FingerprintsOf(gpg({"--with-colons", "--with-fingerprint", "--list-keys"}).out);
}

std::vector<std::string> KeyRing::secretFingerprints() const {
  return FingerprintsOf(gpg({"--with-colons", "--with-fingerprint", "--list-secret-keys"}).out);
}

void KeyRing::importKeys(const std::vector<std::string>& names, bool secret, bool ownertrust) {
  if (names.empty()) return;
  std::vector<std::string> args = {"--quiet", "--import"};
  std::string trust;
  for (const std::string& name : names) {
    const TestKey& key = TestKeyNamed(name);
    args.push_back(TestKeyFolder() + "/" + name + (secret ? ".sec.asc" : ".pub.asc"));
    trust += key.fingerprint + ":6:\n";
  }
  ProcessResult imported = gpg(args);
  if (imported.exitCode != 0) {
    std::ostringstream message;
    message << "gpg --import failed: " << imported;
    throw std::runtime_error(message.str());
  }
  if (ownertrust) {
    ProcessResult trusted = gpg({"--quiet", "--import-ownertrust"}, trust);
    if (trusted.exitCode != 0) {
      std::ostringstream message;
      message << "gpg --import-ownertrust failed: " << trusted;
      throw std::runtime_error(message.str());
    }
  }
}

void KeyRing::disable(const std::string& name) {
  ProcessResult result =
      gpg({"--command-fd", "0", "--edit-key", fingerprint(name), "disable", "quit"});
  if (result.exitCode != 0) {
    std::ostringstream message;
    message << "gpg --edit-key disable failed: " << result;
    throw std::runtime_error(message.str());
  }
}

void KeyRing::setPassphrase(const std::optional<std::string>& passphrase) {
  std::string file = m_home + "/pinentry-passphrase";
  if (passphrase)
    WriteFile(file, *passphrase + "\n");
  else
    std::filesystem::remove(file);
}

void KeyRing::queuePassphrases(const std::vector<std::string>& passphrases) {
  std::string lines;
  for (const std::string& passphrase : passphrases) lines += passphrase + "\n";
  WriteFile(m_home + "/pinentry-queue", lines);
}

std::string KeyRing::pinentryLog() const { return ReadSmallFile(m_home + "/pinentry-log"); }

void KeyRing::stopAgent() const {
  if (!std::filesystem::exists(m_home)) return;
  std::vector<int> daemons = DaemonsOf(m_home);
  RunProcess({"gpgconf", "--homedir", m_home, "--kill", "all"});
  // They end a moment after they were told to; wait for that, then make sure.
  auto anyAlive = [&] { return std::any_of(daemons.begin(), daemons.end(), ProcessAlive); };
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (anyAlive() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  for (int pid : daemons)
    if (ProcessAlive(pid)) kill(pid, SIGKILL);
  deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (anyAlive() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

bool ProcessAlive(int pid) {
  if (kill(pid, 0) != 0) return false;
  // A zombie has ended; only its parent has not collected it yet.
  std::string stat = ReadSmallFile("/proc/" + std::to_string(pid) + "/stat");
  std::size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

std::vector<int> DaemonsOf(const std::string& home) {
  std::vector<int> pids;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string pidText = entry.path().filename().string();
    if (pidText.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string comm = ReadSmallFile(entry.path() / "comm");
    if (!comm.empty() && comm.back() == '\n') comm.pop_back();
    if (comm != "gpg-agent" && comm != "dirmngr" && comm != "scdaemon") continue;
    if (!ProcessAlive(std::stoi(pidText))) continue;
    std::vector<std::string> args = Split(ReadSmallFile(entry.path() / "cmdline"), '\0');
    bool serves = false;
    for (std::size_t i = 0; i + 1 < args.size(); ++i)
      if (args[i] == "--homedir" && args[i + 1] == home) serves = true;
    if (!serves) {
      // Started with GNUPGHOME in the environment instead of --homedir.
      for (const std::string& var : Split(ReadSmallFile(entry.path() / "environ"), '\0'))
        if (var == "GNUPGHOME=" + home) serves = true;
    }
    if (serves) pids.push_back(std::stoi(pidText));
  }
  return pids;
}

void UseDefaultKeys(const KeyRing& ring, const std::string& name) {
  RegKey key;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  const std::string ids = ring.keyId(name) + std::string(1, '\0');
  RegSetValueEx(key.get(), kDefaultKeysValue, 0, REG_BINARY,
                reinterpret_cast<const BYTE*>(ids.data()), static_cast<DWORD>(ids.size()));
  const DWORD on = 1;
  RegSetValueEx(key.get(), kUseDefaultKeysValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on),
                sizeof on);
}
