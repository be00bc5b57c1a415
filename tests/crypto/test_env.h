// What the file, key and interoperability tests share on top of the key-ring fixture: an engine
// context opened the way the operations window opens it, keys made on the spot for what the
// pregenerated ones cannot show, and a headless host window that gives the window's members a
// log box, a key list and a progress bar.
#pragma once

#include <gpgme.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/gui/win_api.h"
#include "tests/support/key_ring.h"
#include "zembra/engine/engine.h"
#include "zembra/ui/dlg_progress.h"

// InitEngine, gpgme_new and SetupContext, as the window's initialisation runs them; with the
// fixture's environment the context works on the fixture's home.
GpgmeContext OpenEngineContext();

// Makes a key without passphrase in the ring's home (ed25519 for signing, a cv25519 subkey for
// encryption) and returns its fingerprint. expire as gpg takes it; fakedTime (e.g.
// "20200304T233000") sets the creation time.
std::string MakeKey(const KeyRing& ring, const std::string& uid, const std::string& expire = "0",
                    const std::string& fakedTime = "");

// Runs body inside a modal host window that holds a log box (1123, made the operation log), a
// key list (1130, with its columns) and a progress bar (1133); returns when body has run.
void RunInHostWindow(const std::function<void(HWND window)>& body);
// Called with each position the host window is sent as a progress bar, when a test points an
// operation's progress handle at the host window itself.
extern std::function<void(int position)> g_onHostProgress;
// The whole text of the operation log, its line breaks as "\n".
std::string LogText();

bool Exists(const std::string& path);
// The names in a folder, sorted.
std::vector<std::string> FolderNames(const std::string& folder);

// The operations window with its file operations within reach.
class CryptoWindow : public CDlgProgress {
 public:
  CryptoWindow() : CDlgProgress(nullptr, cmdNone) {}
  using CDlgProgress::Decrypt;
  using CDlgProgress::Encrypt;
  using CDlgProgress::m_ctx;
  using CDlgProgress::m_hProgress;
};

// Reproducible noise of the given size.
std::string RandomBytes(std::size_t size);
