#include "zembra/operations/file_signing.h"

#include "platform/core/files.h"
#include "platform/core/log.h"
#include "platform/core/text.h"
#include "zembra/engine/operation_loop.h"
#include "zembra/operations/file_streams.h"
#include "zembra/operations/messages.h"
#include "zembra/operations/signature_report.h"

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
  Outcome outcome;
  gpgme_set_armor(ctx, 0);
  FileStreams io(SignedName(path));
  if (!io.OpenInput(path, progress, outcome) || !io.OpenOutput(outcome)) return outcome;

  LogRes(IDS_SIGNING_FILE, DisplayText(path));
  const gpgme_error_t err = RunOperation(
      ctx, [&] { return gpgme_op_sign_start(ctx, io.in(), io.out(), GPGME_SIG_MODE_NORMAL); });
  if (io.InputChanged()) return outcome.End(IDS_INPUT_CHANGED, DisplayText(path));
  if (!outcome.Check(err)) return outcome;
  gpgme_sign_result_t result = gpgme_op_sign_result(ctx);
  if (!io.Commit(outcome)) return outcome;
  if (result && result->invalid_signers)
    outcome.End(IDS_INVALID_SIGNER, result->invalid_signers->fpr);
  else
    outcome.Done();
  return outcome;
}

Outcome VerifyFile(gpgme_ctx_t ctx, const std::string& path, const ProgressSink& progress) {
  Outcome outcome;
  const std::string outPath = VerifiedName(path);
  FileStreams io(outPath);
  if (!io.OpenInput(path, progress, outcome)) return outcome;
  if (PathExists(outPath)) return outcome.End(IDS_FILE_EXISTS, DisplayText(outPath));
  if (!io.OpenOutput(outcome)) return outcome;

  LogRes(IDS_VERIFYING_FILE, DisplayText(path));
  const gpgme_error_t err =
      RunOperation(ctx, [&] { return gpgme_op_verify_start(ctx, io.in(), nullptr, io.out()); });
  if (io.InputChanged()) return outcome.End(IDS_INPUT_CHANGED, DisplayText(path));
  if (!outcome.Check(err)) return outcome;
  // Content whose signatures are not all good stays in the temporary file and goes with it.
  if (Outcome report = ReportSignatures(ctx, SignaturesOf(ctx)); !report.ok()) return report;
  if (!io.CommitNoReplace(outcome)) return outcome;
  outcome.Done();
  return outcome;
}
