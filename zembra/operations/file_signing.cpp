#include "zembra/operations/file_signing.h"

#include <cerrno>
#include <cstring>

#include "platform/core/files.h"
#include "platform/core/text.h"
#include "zembra/engine/engine.h"
#include "zembra/engine/file_stream.h"
#include "zembra/operations/log.h"
#include "zembra/operations/messages.h"
#include "zembra/operations/signature_report.h"

namespace {

constexpr std::string_view kSignedEnding = ".signed.gpg";
constexpr std::string_view kVerifiedEnding = ".verified";

bool MakeData(GpgmeDataObject& data, void* handle) {
  gpgme_data_t raw = nullptr;
  const bool made = CheckResult(gpgme_data_new_from_cbs(&raw, FileCallbacks(), handle));
  data.reset(raw);
  return made;
}

void LogSystemError(int error) { LogRes(IDS_ERROR, std::strerror(error)); }

}  // namespace

std::string SignedName(const std::string& path) { return path + std::string(kSignedEnding); }

std::string VerifiedName(const std::string& path) {
  if (EndsWithNoCase(path, kSignedEnding)) return path.substr(0, path.size() - kSignedEnding.size());
  return path + std::string(kVerifiedEnding);
}

void SignFile(gpgme_ctx_t ctx, const std::string& path, HWND progress) {
  gpgme_set_armor(ctx, 0);

  UniqueFd input = OpenInputFile(path);
  if (!input.valid()) return;
  FileStream inStream = MakeFileStream(input.get(), progress);
  GpgmeDataObject inData;
  if (!MakeData(inData, &inStream)) return;

  CommittedOutput output(SignedName(path));
  if (!output.Open()) return;
  int outFd = output.fd();
  GpgmeDataObject outData;
  if (!MakeData(outData, &outFd)) return;

  LogRes(IDS_SIGNING_FILE, DisplayText(path));
  if (!CheckResult(gpgme_op_sign(ctx, inData.get(), outData.get(), GPGME_SIG_MODE_NORMAL))) return;
  gpgme_sign_result_t result = gpgme_op_sign_result(ctx);
  outData.reset();
  if (!output.Commit()) {
    LogSystemError(errno);
    return;
  }
  if (result && result->invalid_signers)
    LogRes(IDS_INVALID_SIGNER, result->invalid_signers->fpr);
  else
    LogRes(IDS_DONE);
}

void VerifyFile(gpgme_ctx_t ctx, const std::string& path, HWND progress) {
  UniqueFd input = OpenInputFile(path);
  if (!input.valid()) return;
  FileStream inStream = MakeFileStream(input.get(), progress);
  GpgmeDataObject inData;
  if (!MakeData(inData, &inStream)) return;

  const std::string outPath = VerifiedName(path);
  if (PathExists(outPath)) {
    LogRes(IDS_FILE_EXISTS, DisplayText(outPath));
    return;
  }
  CommittedOutput output(outPath);
  if (!output.Open()) return;
  int outFd = output.fd();
  GpgmeDataObject outData;
  if (!MakeData(outData, &outFd)) return;

  LogRes(IDS_VERIFYING_FILE, DisplayText(path));
  if (!CheckResult(gpgme_op_verify(ctx, inData.get(), nullptr, outData.get()))) return;
  outData.reset();
  // Content whose signatures are not all good stays in the temporary file and goes with it.
  if (!ReportSignatures(ctx, SignaturesOf(ctx))) return;
  if (!output.CommitNoReplace()) {
    if (errno == EEXIST)
      LogRes(IDS_FILE_EXISTS, DisplayText(outPath));
    else
      LogSystemError(errno);
    return;
  }
  LogRes(IDS_DONE);
}
