#include "zembra/operations/clipboard_operations.h"

#include <cerrno>
#include <memory>

#include "platform/core/log.h"
#include "platform/core/text.h"
#include "platform/gui/clipboard.h"
#include "zembra/engine/check_result.h"
#include "zembra/engine/engine.h"
#include "zembra/engine/operation_loop.h"
#include "zembra/engine/text_stream.h"
#include "zembra/keys/key_list.h"
#include "zembra/operations/clipboard_text.h"
#include "zembra/operations/messages.h"
#include "zembra/operations/signature_report.h"

namespace {

bool IsReadingStep(TextStep step) { return step == DecryptTextStep || step == VerifyTextStep; }

// The whole content of a memory data object, read from its start.
bool ReadAll(gpgme_data_t data, std::string* bytes) {
  const off_t size = gpgme_data_seek(data, 0, SEEK_END);
  if (size <= 0) {
    bytes->clear();
    return size == 0;
  }
  gpgme_data_seek(data, 0, SEEK_SET);
  bytes->assign(static_cast<std::size_t>(size), '\0');
  errno = 0;
  const ssize_t read = gpgme_data_read(data, bytes->data(), bytes->size());
  if (read < size) {
    // What came back is kept; the shortfall is said.
    if (errno != 0) CheckResult(gpgme_error_from_errno(errno));
    bytes->resize(read > 0 ? static_cast<std::size_t>(read) : 0);
  }
  return true;
}

}  // namespace

Outcome EncryptTextStep(const TextStepData& data) {
  Outcome outcome;
  gpgme_set_armor(data.ctx, 1);
  LogRes(IDS_ENCRYPTING_CLIPBOARD);
  // An engine that died says nothing; its output would stop short.
  if (!outcome.Check(RunOperation(
          data.ctx,
          [&] {
            return gpgme_op_encrypt_start(data.ctx, data.recipients, GPGME_ENCRYPT_ALWAYS_TRUST,
                                          data.input, data.output);
          },
          "END_ENCRYPTION")))
    return outcome;
  gpgme_encrypt_result_t result = gpgme_op_encrypt_result(data.ctx);
  if (result && result->invalid_recipients)
    return outcome.End(IDS_INVALID_RECIPIENT, result->invalid_recipients->fpr);
  return outcome.Done();
}

Outcome DecryptTextStep(const TextStepData& data) {
  Outcome outcome;
  LogRes(IDS_DECRYPTING_CLIPBOARD);
  // On the operations loop: a gpg that dies while the text is fed to it ends the step.
  if (!outcome.Check(RunOperation(
          data.ctx, [&] { return gpgme_op_decrypt_start(data.ctx, data.input, data.output); })))
    return outcome;
  gpgme_decrypt_result_t result = gpgme_op_decrypt_result(data.ctx);
  if (result && result->unsupported_algorithm)
    return outcome.End(IDS_UNSUPPORTED_ALGORITHM, result->unsupported_algorithm);
  return outcome.Done();
}

Outcome SignTextStep(const TextStepData& data) {
  Outcome outcome;
  gpgme_set_armor(data.ctx, 1);
  LogRes(IDS_SIGNING_CLIPBOARD);
  if (!outcome.Check(RunOperation(data.ctx, [&] {
        return gpgme_op_sign_start(data.ctx, data.input, data.output, GPGME_SIG_MODE_NORMAL);
      })))
    return outcome;
  gpgme_sign_result_t result = gpgme_op_sign_result(data.ctx);
  if (result && result->invalid_signers)
    return outcome.End(IDS_INVALID_SIGNER, result->invalid_signers->fpr);
  return outcome.Done();
}

Outcome VerifyTextStep(const TextStepData& data) {
  Outcome outcome;
  LogRes(IDS_VERIFYING_CLIPBOARD);
  if (!outcome.Check(RunOperation(data.ctx, [&] {
        return gpgme_op_verify_start(data.ctx, data.input, nullptr, data.output);
      })))
    return outcome;
  const std::vector<SignatureCheck> checks = SignaturesOf(data.ctx);
  // The start message has no line end; the signatures get lines of their own.
  AppendLogText("\n");
  Outcome report = ReportSignatures(data.ctx, checks);
  return report.ok() ? report.Done() : report;
}

Outcome TransformClipboardText(Clipboard& clipboard, gpgme_ctx_t ctx, TextStep step,
                               gpgme_key_t* recipients, const ProgressSink& progress) {
  Outcome outcome;
  const bool reading = IsReadingStep(step);
  const UINT readFormat = reading ? CF_TEXT : CF_UNICODETEXT;
  const UINT writeFormat = reading ? CF_UNICODETEXT : CF_TEXT;
  switch (clipboard.Offers(readFormat)) {
    case ClipboardAnswer::Offered: break;
    case ClipboardAnswer::NotOffered: return outcome.End(IDS_NO_CLIPBOARD_TEXT);
    case ClipboardAnswer::OwnerSilent: return outcome.End(IDS_CLIPBOARD_OWNER_SILENT);
  }
  std::string text;
  bool undecodable = false;
  if (!clipboard.ReadBytes(readFormat, &text, &undecodable)) {
    outcome.failed = true;  // held open by another window of ours: nothing to say
    return outcome;
  }
  // Text the engine would get other than as its owner gave it is not worked on at all.
  if (undecodable) return outcome.End(IDS_CLIPBOARD_TEXT_ALTERED);

  // The engine reads the text where it lies; nothing is copied.
  TextStream stream{.bytes = text, .progress = progress};
  GpgmeDataObject input;
  if (!outcome.Check(MakeTextInputData(input, stream))) return outcome;
  gpgme_data_t raw = nullptr;
  if (!outcome.Check(gpgme_data_new(&raw))) return outcome;
  GpgmeDataObject output(raw);

  outcome = step({ctx, input.get(), output.get(), recipients});
  if (!outcome.ok()) return outcome;  // the clipboard keeps its text

  std::string result;
  ReadAll(output.get(), &result);
  if (result.empty()) {
    clipboard.Empty();
    return outcome;
  }
  // A result the system kept off the clipboard is no success, whatever the step said.
  if (!clipboard.WriteBytes(writeFormat, reading ? ClipboardTextOfPlaintext(result) : result))
    outcome.End(IDS_CLIPBOARD_REFUSED);
  return outcome;
}

Outcome TransformClipboardTextOnOwnContext(Clipboard& clipboard, bool verify,
                                           const ProgressSink& progress) {
  const GpgmeContext ctx = NewEngineContext();
  if (!ctx) {
    Outcome outcome;
    outcome.failed = true;  // the engine's failure is in the log already
    return outcome;
  }
  const std::unique_ptr<CKeyHandleArray> keys = ListUsableKeys(ctx.get());
  return TransformClipboardText(clipboard, ctx.get(), verify ? VerifyTextStep : DecryptTextStep,
                                nullptr, progress);
}

ClipboardContents QueryClipboardContents(const Clipboard& clipboard) {
  switch (clipboard.Offers(CF_HDROP)) {
    case ClipboardAnswer::Offered: return ClipboardContents::Files;
    case ClipboardAnswer::NotOffered: return ClipboardContents::Text;
    case ClipboardAnswer::OwnerSilent: break;
  }
  LogRes(IDS_CLIPBOARD_OWNER_SILENT);
  return ClipboardContents::Unanswered;
}

std::vector<std::string> ReadClipboardFiles(Clipboard& clipboard) {
  std::vector<std::string> paths, notLocal;
  clipboard.ReadFiles(&paths, &notLocal);
  for (const std::string& address : notLocal) LogRes(IDS_NOT_A_LOCAL_FILE, DisplayText(address));
  return paths;
}
