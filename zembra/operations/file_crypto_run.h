// One file's encryption, decryption, signing or verification in the steps around the engine's
// run, so that a job can run several at once, each on a context of its own: Open, the start call
// on the loop that runs it, Finish with what the run returned. EncryptFile, DecryptFile, SignFile
// and VerifyFile are these steps around RunOperation (RunFileAlone).
#pragma once

#include <gpgme.h>

#include <string>

#include "zembra/engine/progress.h"
#include "zembra/operations/file_streams.h"
#include "zembra/operations/outcome.h"

class FileCryptoRun {
 public:
  enum class Kind { Encrypt, EncryptWithPassphrase, Decrypt, Sign, Verify };

  // recipients: a null-terminated list for Encrypt, which must outlive the run. Sign signs with
  // the signers of the context given to Open.
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
  // Decryption and verification never replace a file.
  bool NeverReplaces() const { return m_kind == Kind::Decrypt || m_kind == Kind::Verify; }
  const Outcome& FinishDecryption(gpgme_error_t err);
  const Outcome& FinishVerification(gpgme_error_t err);
  const Outcome& FinishEncryption(gpgme_error_t err);
  const Outcome& FinishSigning(gpgme_error_t err);

  Kind m_kind;
  std::string m_path;
  std::string m_output;
  gpgme_key_t* m_recipients;
  gpgme_ctx_t m_ctx = nullptr;
  FileStreams m_io;
  Outcome m_outcome;
};

// One file's run on ctx alone, through RunOperation.
Outcome RunFileAlone(gpgme_ctx_t ctx, FileCryptoRun::Kind kind, const std::string& path,
                     gpgme_key_t* recipients, const ProgressSink& progress);
