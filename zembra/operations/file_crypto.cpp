#include "zembra/operations/file_crypto.h"

#include "platform/core/text.h"

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

Outcome EncryptFile(gpgme_ctx_t ctx, const std::string& path, gpgme_key_t* recipients,
                    const ProgressSink& progress) {
  return RunFileAlone(ctx, FileCryptoRun::Kind::Encrypt, path, recipients, progress);
}

Outcome EncryptFileWithPassphrase(gpgme_ctx_t ctx, const std::string& path,
                                  const ProgressSink& progress) {
  return RunFileAlone(ctx, FileCryptoRun::Kind::EncryptWithPassphrase, path, nullptr, progress);
}

Outcome DecryptFile(gpgme_ctx_t ctx, const std::string& path, const ProgressSink& progress) {
  return RunFileAlone(ctx, FileCryptoRun::Kind::Decrypt, path, nullptr, progress);
}
