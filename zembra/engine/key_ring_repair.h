// A key ring that a stopped gpg left half-updated.
//
// gpg rewrites its key box as a whole: it writes the new one beside it ("pubring.kbx.tmp"),
// renames the current one to the backup ("pubring.kbx~"), then renames the new one into place. A
// gpg killed between the two renames leaves no key box at all, and every later gpg fails on the
// missing file: a listing shows nothing, an import considers nothing, until somebody renames a
// file by hand. The new file was complete before the first rename, so making the second one is
// what the stopped gpg would have done next.
#pragma once

#include <gpgme.h>

#include <string>

// The folder of the context's key ring: the home it was given, or GPGME's default one.
std::string KeyHomeOf(gpgme_ctx_t ctx);

enum class KeyRingState {
  kWhole,      // nothing was left half-done, or a living gpg is still at work on it
  kCompleted,  // the stopped update was put in place, and the log says so
  kBroken,     // the update could not be put in place; the log says why and where the backup is
};

// Finishes the update of home's key box that a stopped gpg left between its two renames. Never
// replaces a key box that exists, and leaves alone an update whose lock a living process holds.
KeyRingState CompleteStoppedKeyRingUpdate(const std::string& home);

// The same for the context's key ring; each operation calls it before it starts the engine.
KeyRingState CompleteStoppedKeyRingUpdate(gpgme_ctx_t ctx);
