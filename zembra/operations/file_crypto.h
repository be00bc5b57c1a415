// Encryption and decryption of one file, without a window: the engine context, the path (and
// the recipients) and a progress sink in, the lines in the log and an Outcome out.
#pragma once

#include <gpgme.h>

#include <string>

#include "zembra/operations/file_streams.h"

#include "zembra/engine/progress.h"
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

// One file's encryption or decryption in the steps around the engine's run, so that a job can
// run several at once, each on a context of its own: Open, the start call on the loop that runs
// it, Finish with what the run returned. The functions above are these steps around RunOperation.
class FileCryptoRun {
 public:
  enum class Kind { Encrypt, EncryptWithPassphrase, Decrypt };

  // recipients: a null-terminated list for Encrypt, which must outlive the run.
  FileCryptoRun(Kind kind, std::string path, gpgme_key_t* recipients = nullptr);
  FileCryptoRun(const FileCryptoRun&) = delete;
  FileCryptoRun& operator=(const FileCryptoRun&) = delete;

  Kind kind() const { return m_kind; }
  const std::string& input() const { return m_path; }
  const std::string& output() const { return m_output; }
  // The engine asks for a passphrase (if any) before it writes this status line, and the agent
  // then keeps it for the files after. "": no passphrase is asked. Null: every file asks its
  // own, which no other file can use (an encryption for a passphrase).
  const char* passphrasePassedStatus() const;
  // The status line gpg writes once the output is complete (RunOperation's endStatus).
  const char* endStatus() const;

  // Opens both ends and writes the first line; false when the outcome has ended already.
  bool Open(gpgme_ctx_t ctx, const ProgressSink& progress);
  // The engine's start call on the context given to Open.
  gpgme_error_t Start();
  // Commits or drops the output by the run's error and writes the last line.
  const Outcome& Finish(gpgme_error_t err);
  const Outcome& outcome() const { return m_outcome; }

 private:
  Kind m_kind;
  std::string m_path;
  std::string m_output;
  gpgme_key_t* m_recipients;
  gpgme_ctx_t m_ctx = nullptr;
  FileStreams m_io;
  Outcome m_outcome;
};

// The output name of a decryption: ".signed.gpg" or ".gpg" taken off (any case), else
// ".decrypted" added.
std::string DecryptedName(const std::string& path);
