// The engine reads the input through a progress-reporting stream and writes into a temporary
// file beside the output name, which takes that name only when the engine has succeeded. A
// failed run leaves no empty or partial output behind and never touches a file that already
// had the output name; data the engine did not accept (a decryption that failed, content whose
// signatures are not all good) is never put where a user would take it for the real thing.
#include "zembra/operations/file_crypto_run.h"

#include "platform/core/files.h"
#include "platform/core/text.h"
#include "zembra/engine/operation_loop.h"
#include "zembra/operations/file_crypto.h"
#include "zembra/operations/file_signing.h"
#include "zembra/operations/messages.h"
#include "zembra/operations/signature_report.h"

namespace {

std::string OutputName(FileCryptoRun::Kind kind, const std::string& path) {
  switch (kind) {
    case FileCryptoRun::Kind::Encrypt:
    case FileCryptoRun::Kind::EncryptWithPassphrase: break;
    case FileCryptoRun::Kind::Decrypt: return DecryptedName(path);
    case FileCryptoRun::Kind::Sign: return SignedName(path);
    case FileCryptoRun::Kind::Verify: return VerifiedName(path);
  }
  return path + ".gpg";
}

int FirstLine(FileCryptoRun::Kind kind) {
  switch (kind) {
    case FileCryptoRun::Kind::Encrypt:
    case FileCryptoRun::Kind::EncryptWithPassphrase: break;
    case FileCryptoRun::Kind::Decrypt: return IDS_DECRYPTING_FILE;
    case FileCryptoRun::Kind::Sign: return IDS_SIGNING_FILE;
    case FileCryptoRun::Kind::Verify: return IDS_VERIFYING_FILE;
  }
  return IDS_ENCRYPTING_FILE;
}

}  // namespace

FileCryptoRun::FileCryptoRun(Kind kind, std::string path, gpgme_key_t* recipients)
    : m_kind(kind),
      m_path(std::move(path)),
      m_output(OutputName(kind, m_path)),
      m_recipients(recipients),
      m_io(m_output) {}

const char* FileCryptoRun::passphrasePassedStatus() const {
  switch (m_kind) {
    case Kind::Encrypt:
    case Kind::Verify: return "";  // asks for none
    case Kind::EncryptWithPassphrase: return nullptr;
    case Kind::Decrypt: break;
    // The signing key is unlocked once the data is hashed, to make the signature.
    case Kind::Sign: return "SIG_CREATED";
  }
  return "BEGIN_DECRYPTION";
}

const char* FileCryptoRun::endStatus() const {
  return m_kind == Kind::Encrypt || m_kind == Kind::EncryptWithPassphrase ? "END_ENCRYPTION"
                                                                          : nullptr;
}

bool FileCryptoRun::Open(gpgme_ctx_t ctx, const ProgressSink& progress) {
  m_ctx = ctx;
  if (!NeverReplaces()) gpgme_set_armor(ctx, 0);
  if (!m_io.OpenInput(m_path, progress, m_outcome)) return false;
  if (NeverReplaces() && PathExists(m_output)) {
    m_outcome.End(IDS_FILE_EXISTS, DisplayText(m_output));
    return false;
  }
  // An existing file of the output name is replaced (encryption, signing), but only by a
  // complete output.
  if (!m_io.OpenOutput(m_outcome)) return false;
  LogRes(FirstLine(m_kind), DisplayText(m_path));
  return true;
}

gpgme_error_t FileCryptoRun::Start() {
  switch (m_kind) {
    case Kind::Encrypt:
      return gpgme_op_encrypt_start(m_ctx, m_recipients, GPGME_ENCRYPT_ALWAYS_TRUST, m_io.in(),
                                    m_io.out());
    case Kind::EncryptWithPassphrase:
      return gpgme_op_encrypt_start(m_ctx, nullptr, GPGME_ENCRYPT_SYMMETRIC, m_io.in(), m_io.out());
    case Kind::Decrypt: break;
    case Kind::Sign:
      return gpgme_op_sign_start(m_ctx, m_io.in(), m_io.out(), GPGME_SIG_MODE_NORMAL);
    case Kind::Verify: return gpgme_op_verify_start(m_ctx, m_io.in(), nullptr, m_io.out());
  }
  return gpgme_op_decrypt_start(m_ctx, m_io.in(), m_io.out());
}

const Outcome& FileCryptoRun::Finish(gpgme_error_t err) {
  if (m_io.InputChanged()) return m_outcome.End(IDS_INPUT_CHANGED, DisplayText(m_path));
  switch (m_kind) {
    case Kind::Encrypt:
    case Kind::EncryptWithPassphrase: break;
    case Kind::Decrypt: return FinishDecryption(err);
    case Kind::Sign: return FinishSigning(err);
    case Kind::Verify: return FinishVerification(err);
  }
  return FinishEncryption(err);
}

const Outcome& FileCryptoRun::FinishDecryption(gpgme_error_t err) {
  if (!m_outcome.Check(err)) return m_outcome;
  gpgme_decrypt_result_t result = gpgme_op_decrypt_result(m_ctx);
  // The output name was free before the engine ran; a file that took it meanwhile is kept.
  if (!m_io.CommitNoReplace(m_outcome)) return m_outcome;
  if (result && result->unsupported_algorithm)
    return m_outcome.End(IDS_UNSUPPORTED_ALGORITHM, result->unsupported_algorithm);
  return m_outcome.Done();
}

const Outcome& FileCryptoRun::FinishVerification(gpgme_error_t err) {
  if (!m_outcome.Check(err)) return m_outcome;
  // Content whose signatures are not all good stays in the temporary file and goes with it.
  if (Outcome report = ReportSignatures(m_ctx, SignaturesOf(m_ctx)); !report.ok())
    return m_outcome = std::move(report);
  if (!m_io.CommitNoReplace(m_outcome)) return m_outcome;
  return m_outcome.Done();
}

const Outcome& FileCryptoRun::FinishEncryption(gpgme_error_t err) {
  if (gpgme_err_code(err) == GPG_ERR_UNFINISHED)
    return m_outcome.End(IDS_ENGINE_STOPPED, DisplayText(m_path));
  if (!m_outcome.Check(err)) return m_outcome;
  gpgme_encrypt_result_t result = gpgme_op_encrypt_result(m_ctx);
  if (!m_io.Commit(m_outcome)) return m_outcome;
  if (result && result->invalid_recipients)
    return m_outcome.End(IDS_INVALID_RECIPIENT, result->invalid_recipients->fpr);
  return m_outcome.Done();
}

const Outcome& FileCryptoRun::FinishSigning(gpgme_error_t err) {
  if (!m_outcome.Check(err)) return m_outcome;
  gpgme_sign_result_t result = gpgme_op_sign_result(m_ctx);
  if (!m_io.Commit(m_outcome)) return m_outcome;
  if (result && result->invalid_signers)
    return m_outcome.End(IDS_INVALID_SIGNER, result->invalid_signers->fpr);
  return m_outcome.Done();
}

Outcome RunFileAlone(gpgme_ctx_t ctx, FileCryptoRun::Kind kind, const std::string& path,
                     gpgme_key_t* recipients, const ProgressSink& progress) {
  FileCryptoRun run(kind, path, recipients);
  if (!run.Open(ctx, progress)) return run.outcome();
  const gpgme_error_t err = RunOperation(
      ctx, [&] { return run.Start(); }, run.endStatus());
  return run.Finish(err);
}
