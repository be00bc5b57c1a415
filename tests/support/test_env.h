// What the file, key and interoperability tests share on top of the key-ring fixture: an engine
// context opened the way the operations window opens it, the file operations on one, keys made
// on the spot for what the pregenerated ones cannot show, and a headless host window that gives
// the window's members a log box and a key list.
#pragma once

#include <gpgme.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/gui/win_api.h"
#include "tests/support/key_ring.h"
#include "tests/support/progress_record.h"
#include "zembra/engine/engine.h"
#include "zembra/operations/file_crypto.h"

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
// The whole text of the operation log, its line breaks as "\n".
std::string LogText();

bool Exists(const std::string& path);
// The names in a folder, sorted.
std::vector<std::string> FolderNames(const std::string& folder);

// The file operations on a context of their own, with a progress record as the sink (or
// another sink a test puts in its place).
struct FileOps {
  GpgmeContext ctx = OpenEngineContext();
  ProgressRecord record;
  ProgressSink progress = record.sink();

  Outcome Encrypt(const std::string& path, gpgme_key_t* recipients) {
    return EncryptFile(ctx.get(), path, recipients, progress);
  }
  Outcome Decrypt(const std::string& path) { return DecryptFile(ctx.get(), path, progress); }
};

// Reproducible noise of the given size.
std::string RandomBytes(std::size_t size);
