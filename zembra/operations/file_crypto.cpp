// The engine reads the input through a progress-reporting stream and writes into a temporary
// file beside the output name, which takes that name only when the engine has succeeded. A
// failed run leaves no empty or partial output behind and never touches a file that already
// had the output name; decrypted data that was not accepted by the engine is never put where a
// user would take it for the plaintext.
#include "zembra/operations/file_crypto.h"

#include "platform/core/files.h"
#include "platform/core/text.h"
#include "zembra/engine/operation_loop.h"
#include "zembra/operations/file_streams.h"
#include "zembra/operations/messages.h"

namespace {

constexpr std::string_view kEncryptedEnding = ".gpg";
constexpr std::string_view kSignedEnding = ".signed.gpg";
constexpr std::string_view kDecryptedEnding = ".decrypted";

}  // namespace

std::string DecryptedName(const std::string& path) {
  if (EndsWithNoCase(path, kEncryptedEnding)) {
    if (EndsWithNoCase(path, kSignedEnding))
      return path.substr(0, path.size() - kSignedEnding.size());
    return path.substr(0, path.size() - kEncryptedEnding.size());
  }
  return path + std::string(kDecryptedEnding);
}

FileCryptoRun::FileCryptoRun(Kind kind, std::string path, gpgme_key_t* recipients)
    : m_kind(kind),
      m_path(std::move(path)),
      m_output(kind == Kind::Decrypt ? DecryptedName(m_path)
                                     : m_path + std::string(kEncryptedEnding)),
      m_recipients(recipients),
      m_io(m_output) {}

const char* FileCryptoRun::passphrasePassedStatus() const {
  switch (m_kind) {
    case Kind::Encrypt: return "";  // asks for none
    case Kind::EncryptWithPassphrase: return nullptr;
    case Kind::Decrypt: break;
  }
  return "BEGIN_DECRYPTION";
}

const char* FileCryptoRun::endStatus() const {
  return m_kind == Kind::Decrypt ? nullptr : "END_ENCRYPTION";
}

bool FileCryptoRun::Open(gpgme_ctx_t ctx, const ProgressSink& progress) {
  m_ctx = ctx;
  if (m_kind == Kind::Decrypt) {
    if (!m_io.OpenInput(m_path, progress, m_outcome)) return false;
    // Decryption never replaces a file.
    if (PathExists(m_output)) {
      m_outcome.End(IDS_FILE_EXISTS, DisplayText(m_output));
      return false;
    }
    if (!m_io.OpenOutput(m_outcome)) return false;
    LogRes(IDS_DECRYPTING_FILE, DisplayText(m_path));
    return true;
  }
  gpgme_set_armor(ctx, 0);
  // An existing file of the output name is replaced, but only by a complete encryption.
  if (!m_io.OpenInput(m_path, progress, m_outcome) || !m_io.OpenOutput(m_outcome)) return false;
  LogRes(IDS_ENCRYPTING_FILE, DisplayText(m_path));
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
  }
  // Until the engine has accepted the whole message, the plaintext stays in the temporary file
  // and goes away with it.
  return gpgme_op_decrypt_start(m_ctx, m_io.in(), m_io.out());
}

const Outcome& FileCryptoRun::Finish(gpgme_error_t err) {
  if (m_io.InputChanged()) return m_outcome.End(IDS_INPUT_CHANGED, DisplayText(m_path));
  if (m_kind == Kind::Decrypt) {
    if (!m_outcome.Check(err)) return m_outcome;
    gpgme_decrypt_result_t result = gpgme_op_decrypt_result(m_ctx);
    // The output name was free before the engine ran; a file that took it meanwhile is kept.
    if (!m_io.CommitNoReplace(m_outcome)) return m_outcome;
    if (result && result->unsupported_algorithm)
      return m_outcome.End(IDS_UNSUPPORTED_ALGORITHM, result->unsupported_algorithm);
    return m_outcome.Done();
  }
  if (gpgme_err_code(err) == GPG_ERR_UNFINISHED)
    return m_outcome.End(IDS_ENGINE_STOPPED, DisplayText(m_path));
  if (!m_outcome.Check(err)) return m_outcome;
  gpgme_encrypt_result_t result = gpgme_op_encrypt_result(m_ctx);
  if (!m_io.Commit(m_outcome)) return m_outcome;
  if (result && result->invalid_recipients)
    return m_outcome.End(IDS_INVALID_RECIPIENT, result->invalid_recipients->fpr);
  return m_outcome.Done();
}

namespace {

Outcome RunOne(gpgme_ctx_t ctx, FileCryptoRun::Kind kind, const std::string& path,
               gpgme_key_t* recipients, const ProgressSink& progress) {
  FileCryptoRun run(kind, path, recipients);
  if (!run.Open(ctx, progress)) return run.outcome();
  const gpgme_error_t err = RunOperation(
      ctx, [&] { return run.Start(); }, run.endStatus());
  return run.Finish(err);
}

}  // namespace

Outcome EncryptFile(gpgme_ctx_t ctx, const std::string& path, gpgme_key_t* recipients,
                    const ProgressSink& progress) {
  return RunOne(ctx, FileCryptoRun::Kind::Encrypt, path, recipients, progress);
}

Outcome EncryptFileWithPassphrase(gpgme_ctx_t ctx, const std::string& path,
                                  const ProgressSink& progress) {
  return RunOne(ctx, FileCryptoRun::Kind::EncryptWithPassphrase, path, nullptr, progress);
}

Outcome DecryptFile(gpgme_ctx_t ctx, const std::string& path, const ProgressSink& progress) {
  return RunOne(ctx, FileCryptoRun::Kind::Decrypt, path, nullptr, progress);
}
