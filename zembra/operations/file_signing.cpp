#include "zembra/operations/file_signing.h"

#include "platform/core/files.h"
#include "platform/core/log.h"
#include "platform/core/text.h"
#include "zembra/engine/file_stream.h"
#include "zembra/operations/messages.h"
#include "zembra/operations/output_file.h"
#include "zembra/operations/signature_report.h"

namespace {

constexpr std::string_view kSignedEnding = ".signed.gpg";
constexpr std::string_view kVerifiedEnding = ".verified";

}  // namespace

std::string SignedName(const std::string& path) { return path + std::string(kSignedEnding); }

std::string VerifiedName(const std::string& path) {
  if (EndsWithNoCase(path, kSignedEnding)) return path.substr(0, path.size() - kSignedEnding.size());
  return path + std::string(kVerifiedEnding);
}

Outcome SignFile(gpgme_ctx_t ctx, const std::string& path, const ProgressSink& progress) {
  Outcome outcome;
  gpgme_set_armor(ctx, 0);

  UniqueFd input = OpenInputFile(path);
  if (!input.valid()) return outcome;
  FileStream inStream = MakeFileStream(input.get(), progress);
  GpgmeDataObject inData;
  if (!outcome.Check(MakeInputData(inData, inStream))) return outcome;

  CommittedOutput output(SignedName(path));
  if (!OpenOutput(output, outcome)) return outcome;
  OutputStream outStream{output.fd()};
  GpgmeDataObject outData;
  if (!outcome.Check(MakeOutputData(outData, outStream))) return outcome;

  LogRes(IDS_SIGNING_FILE, DisplayText(path));
  if (!outcome.Check(gpgme_op_sign(ctx, inData.get(), outData.get(), GPGME_SIG_MODE_NORMAL)))
    return outcome;
  gpgme_sign_result_t result = gpgme_op_sign_result(ctx);
  outData.reset();
  if (!CommitOutput(output, outcome)) return outcome;
  if (result && result->invalid_signers)
    outcome.End(IDS_INVALID_SIGNER, result->invalid_signers->fpr);
  else
    outcome.End(IDS_DONE);
  return outcome;
}

Outcome VerifyFile(gpgme_ctx_t ctx, const std::string& path, const ProgressSink& progress) {
  Outcome outcome;
  UniqueFd input = OpenInputFile(path);
  if (!input.valid()) return outcome;
  FileStream inStream = MakeFileStream(input.get(), progress);
  GpgmeDataObject inData;
  if (!outcome.Check(MakeInputData(inData, inStream))) return outcome;

  const std::string outPath = VerifiedName(path);
  if (PathExists(outPath)) return outcome.End(IDS_FILE_EXISTS, DisplayText(outPath));
  CommittedOutput output(outPath);
  if (!OpenOutput(output, outcome)) return outcome;
  OutputStream outStream{output.fd()};
  GpgmeDataObject outData;
  if (!outcome.Check(MakeOutputData(outData, outStream))) return outcome;

  LogRes(IDS_VERIFYING_FILE, DisplayText(path));
  if (!outcome.Check(gpgme_op_verify(ctx, inData.get(), nullptr, outData.get()))) return outcome;
  outData.reset();
  // Content whose signatures are not all good stays in the temporary file and goes with it.
  if (!ReportSignatures(ctx, SignaturesOf(ctx), outcome)) return outcome;
  if (!CommitNewOutput(output, outcome)) return outcome;
  outcome.End(IDS_DONE);
  return outcome;
}
