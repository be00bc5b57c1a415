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

namespace {

// Encryption to recipients (null: none) with the engine's flags; the output name, the
// commit-or-nothing and the log lines are the same whatever the encryption is for.
Outcome EncryptFileFor(gpgme_ctx_t ctx, const std::string& path, gpgme_key_t* recipients,
                       gpgme_encrypt_flags_t flags, const ProgressSink& progress) {
  Outcome outcome;
  gpgme_set_armor(ctx, 0);
  // An existing file of the output name is replaced, but only by a complete encryption.
  FileStreams io(path + std::string(kEncryptedEnding));
  if (!io.OpenInput(path, progress, outcome) || !io.OpenOutput(outcome)) return outcome;

  LogRes(IDS_ENCRYPTING_FILE, DisplayText(path));
  const gpgme_error_t err = RunOperation(
      ctx, [&] { return gpgme_op_encrypt_start(ctx, recipients, flags, io.in(), io.out()); },
      "END_ENCRYPTION");
  if (io.InputChanged()) return outcome.End(IDS_INPUT_CHANGED, DisplayText(path));
  if (gpgme_err_code(err) == GPG_ERR_UNFINISHED)
    return outcome.End(IDS_ENGINE_STOPPED, DisplayText(path));
  if (!outcome.Check(err)) return outcome;
  gpgme_encrypt_result_t result = gpgme_op_encrypt_result(ctx);
  if (!io.Commit(outcome)) return outcome;
  if (result && result->invalid_recipients)
    outcome.End(IDS_INVALID_RECIPIENT, result->invalid_recipients->fpr);
  else
    outcome.Done();
  return outcome;
}

}  // namespace

Outcome EncryptFile(gpgme_ctx_t ctx, const std::string& path, gpgme_key_t* recipients,
                    const ProgressSink& progress) {
  return EncryptFileFor(ctx, path, recipients, GPGME_ENCRYPT_ALWAYS_TRUST, progress);
}

Outcome EncryptFileWithPassphrase(gpgme_ctx_t ctx, const std::string& path,
                                  const ProgressSink& progress) {
  return EncryptFileFor(ctx, path, nullptr, GPGME_ENCRYPT_SYMMETRIC, progress);
}

Outcome DecryptFile(gpgme_ctx_t ctx, const std::string& path, const ProgressSink& progress) {
  Outcome outcome;
  const std::string outPath = DecryptedName(path);
  FileStreams io(outPath);
  if (!io.OpenInput(path, progress, outcome)) return outcome;
  // Decryption never replaces a file.
  if (PathExists(outPath)) return outcome.End(IDS_FILE_EXISTS, DisplayText(outPath));
  if (!io.OpenOutput(outcome)) return outcome;

  LogRes(IDS_DECRYPTING_FILE, DisplayText(path));
  // Until the engine has accepted the whole message, the plaintext stays in the temporary file
  // and goes away with it.
  const gpgme_error_t err =
      RunOperation(ctx, [&] { return gpgme_op_decrypt_start(ctx, io.in(), io.out()); });
  if (io.InputChanged()) return outcome.End(IDS_INPUT_CHANGED, DisplayText(path));
  if (!outcome.Check(err)) return outcome;
  gpgme_decrypt_result_t result = gpgme_op_decrypt_result(ctx);
  // The output name was free before the engine ran; a file that took it meanwhile is kept.
  if (!io.CommitNoReplace(outcome)) return outcome;
  if (result && result->unsupported_algorithm)
    outcome.End(IDS_UNSUPPORTED_ALGORITHM, result->unsupported_algorithm);
  else
    outcome.Done();
  return outcome;
}
