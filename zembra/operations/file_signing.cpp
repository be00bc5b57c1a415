#include "zembra/operations/file_signing.h"

#include "platform/core/text.h"
#include "zembra/operations/file_crypto_run.h"

namespace {

constexpr std::string_view kSignedEnding = ".signed.gpg";
constexpr std::string_view kVerifiedEnding = ".verified";

}  // namespace

std::string SignedName(const std::string& path) { return path + std::string(kSignedEnding); }

std::string VerifiedName(const std::string& path) {
  if (EndsWithNoCase(path, kSignedEnding))
    return path.substr(0, path.size() - kSignedEnding.size());
  return path + std::string(kVerifiedEnding);
}

Outcome SignFile(gpgme_ctx_t ctx, const std::string& path, const ProgressSink& progress) {
  return RunFileAlone(ctx, FileCryptoRun::Kind::Sign, path, nullptr, progress);
}

Outcome VerifyFile(gpgme_ctx_t ctx, const std::string& path, const ProgressSink& progress) {
  return RunFileAlone(ctx, FileCryptoRun::Kind::Verify, path, nullptr, progress);
}
