// What the file, key and interoperability tests share: temporary folders, a GnuPG home with keys
// made on the spot, programs run with their output captured, and a headless host window that
// gives the operations window's members a log box, a key list and a progress bar.
#pragma once

#include <gpgme.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/gui/win_api.h"
#include "zembra/engine/engine.h"

// A fresh folder under /tmp with a short name (gpg-agent's socket path is limited); removed
// with its contents at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return m_path; }
  std::string operator/(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

struct ProgramResult {
  int status = -1;  // exit code, or -1 when it did not exit normally
  std::string out;
  std::string err;
};
// Runs a program (looked up in PATH) with the arguments, stdin from input, and waits.
ProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& input = "");

// A GnuPG home in its own temporary folder. Its agent is stopped at the end.
class GpgHome {
 public:
  // With a passphrase, keys are made protected by it and the agent accepts it preset.
  explicit GpgHome(std::string passphrase = "");
  ~GpgHome();
  const std::string& path() const { return m_home; }

  // Runs gpg on this home in batch mode without passphrases; fails the test on an error.
  ProgramResult Gpg(std::vector<std::string> args, const std::string& input = "");
  // Makes a key and returns its fingerprint. usage "default" gives an ed25519 primary key for
  // signing with a cv25519 subkey for encryption; "sign" gives a key that cannot encrypt.
  // fakedTime (e.g. "20200304T233000") sets the creation time; expire as gpg takes it.
  std::string MakeKey(const std::string& uid, const std::string& usage = "default",
                      const std::string& expire = "0", const std::string& fakedTime = "",
                      const std::string& algo = "");
  void Revoke(const std::string& fpr);
  void Disable(const std::string& fpr);
  // The fingerprints of the public keys in the order gpg lists them.
  std::vector<std::string> ListedFingerprints();
  std::string ExportSecretArmored(const std::string& fpr);
  // Hands the passphrase to the agent for every secret key, so the engine needs no prompt.
  void PresetPassphrase();

  // A context on this home, with nothing else changed.
  GpgmeContext MakeContext();

 private:
  TempFolder m_folder;
  std::string m_home;
  std::string m_passphrase;
};

// Runs body inside a modal host window that holds a log box (1123, made the operation log), a
// key list (1130, with its columns) and a progress bar (1133); returns when body has run.
void RunInHostWindow(const std::function<void(HWND window)>& body);
// Called with each position the progress bar of the host window is sent, when a test points an
// operation's progress handle at the host window itself.
extern std::function<void(int position)> g_onHostProgress;
// The whole text of the operation log, its line breaks as "\n".
std::string LogText();

// File helpers.
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
// The names in a folder, sorted.
std::vector<std::string> FolderNames(const std::string& folder);
