// Encryption and decryption of one file, without a window: the engine context, the path (and
// the recipients) and a progress sink in, the lines in the log and an Outcome out.
#pragma once

#include <gpgme.h>

#include <string>

#include "zembra/engine/progress.h"
#include "zembra/operations/file_crypto_run.h"
#include "zembra/operations/outcome.h"

// Encrypts path to path + ".gpg" (binary, always trusting the recipients, a null-terminated
// list), replacing a file of that name only with a complete encryption.
Outcome EncryptFile(gpgme_ctx_t ctx, const std::string& path, gpgme_key_t* recipients,
                    const ProgressSink& progress = {});
// As EncryptFile, but for a passphrase instead of keys: the engine asks for it (twice) through
// its pinentry. A cancel there writes nothing.
Outcome EncryptFileWithPassphrase(gpgme_ctx_t ctx, const std::string& path,
                                  const ProgressSink& progress = {});

// Decrypts path to DecryptedName(path); never replaces a file, and keeps no output of a
// message the engine did not accept.
Outcome DecryptFile(gpgme_ctx_t ctx, const std::string& path, const ProgressSink& progress = {});

// The output name of a decryption: ".signed.gpg" or ".gpg" taken off (any case), else
// ".decrypted" added.
std::string DecryptedName(const std::string& path);
