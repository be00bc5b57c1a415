#include "zembra/operations/clipboard_operations.h"

#include <cerrno>
#include <memory>

#include "platform/core/log.h"
#include "platform/core/text.h"
#include "platform/gui/clipboard.h"
#include "zembra/engine/check_result.h"
#include "zembra/engine/engine.h"
#include "zembra/engine/operation_loop.h"
#include "zembra/keys/key_list.h"
#include "zembra/operations/clipboard_text.h"
#include "zembra/operations/messages.h"
#include "zembra/operations/signature_report.h"

namespace {

// Closes the clipboard on every way out.
class ClipboardSession {
 public:
  explicit ClipboardSession(HWND window) : m_open(OpenClipboard(window) != FALSE) {}
  ~ClipboardSession() {
    if (m_open) CloseClipboard();
  }
  ClipboardSession(const ClipboardSession&) = delete;
  ClipboardSession& operator=(const ClipboardSession&) = delete;
  bool open() const { return m_open; }

 private:
  bool m_open;
};

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

bool EncryptTextStep(const TextStepData& data) {
  gpgme_set_armor(data.ctx, 1);
  LogRes(IDS_ENCRYPTING_CLIPBOARD);
  // An engine that died says nothing; its output would stop short.
  if (!CheckResult(RunOperation(
          data.ctx,
          [&] {
            return gpgme_op_encrypt_start(data.ctx, data.recipients, GPGME_ENCRYPT_ALWAYS_TRUST,
                                          data.input, data.output);
          },
          "END_ENCRYPTION")))
    return false;
  gpgme_encrypt_result_t result = gpgme_op_encrypt_result(data.ctx);
  if (result && result->invalid_recipients) {
    LogRes(IDS_INVALID_RECIPIENT, result->invalid_recipients->fpr);
    return false;
  }
  LogRes(IDS_DONE);
  return true;
}

bool DecryptTextStep(const TextStepData& data) {
  LogRes(IDS_DECRYPTING_CLIPBOARD);
  // On the operations loop: a gpg that dies while the text is fed to it ends the step.
  if (!CheckResult(RunOperation(
          data.ctx, [&] { return gpgme_op_decrypt_start(data.ctx, data.input, data.output); })))
    return false;
  gpgme_decrypt_result_t result = gpgme_op_decrypt_result(data.ctx);
  if (result && result->unsupported_algorithm) {
    LogRes(IDS_UNSUPPORTED_ALGORITHM, result->unsupported_algorithm);
    return false;
  }
  LogRes(IDS_DONE);
  return true;
}

bool SignTextStep(const TextStepData& data) {
  gpgme_set_armor(data.ctx, 1);
  LogRes(IDS_SIGNING_CLIPBOARD);
  if (!CheckResult(RunOperation(data.ctx, [&] {
        return gpgme_op_sign_start(data.ctx, data.input, data.output, GPGME_SIG_MODE_NORMAL);
      })))
    return false;
  gpgme_sign_result_t result = gpgme_op_sign_result(data.ctx);
  if (result && result->invalid_signers) {
    LogRes(IDS_INVALID_SIGNER, result->invalid_signers->fpr);
    return false;
  }
  LogRes(IDS_DONE);
  return true;
}

bool VerifyTextStep(const TextStepData& data) {
  LogRes(IDS_VERIFYING_CLIPBOARD);
  if (!CheckResult(RunOperation(data.ctx, [&] {
        return gpgme_op_verify_start(data.ctx, data.input, nullptr, data.output);
      })))
    return false;
  const std::vector<SignatureCheck> checks = SignaturesOf(data.ctx);
  // The start message has no line end; the signatures get lines of their own.
  AppendLogText("\n");
  Outcome verdict;
  if (!ReportSignatures(data.ctx, checks, verdict)) return false;
  LogRes(IDS_DONE);
  return true;
}

void TransformClipboardText(HWND window, gpgme_ctx_t ctx, TextStep step, gpgme_key_t* recipients) {
  const bool reading = IsReadingStep(step);
  const UINT readFormat = reading ? CF_TEXT : CF_UNICODETEXT;
  const UINT writeFormat = reading ? CF_UNICODETEXT : CF_TEXT;
  switch (QueryClipboardFormat(readFormat)) {
    case ClipboardAnswer::Offered: break;
    case ClipboardAnswer::NotOffered: LogRes(IDS_NO_CLIPBOARD_TEXT); return;
    case ClipboardAnswer::OwnerSilent: LogRes(IDS_CLIPBOARD_OWNER_SILENT); return;
  }
  ClipboardSession clipboard(window);
  if (!clipboard.open()) return;
  std::string text;
  bool undecodable = false;
  if (!GetClipboardBytes(readFormat, &text, &undecodable)) return;
  // Text the engine would get other than as its owner gave it is not worked on at all.
  if (undecodable) {
    LogRes(IDS_CLIPBOARD_TEXT_ALTERED);
    return;
  }

  // The engine reads the text where it lies; GPGME copies nothing.
  gpgme_data_t raw = nullptr;
  if (!CheckResult(gpgme_data_new_from_mem(&raw, text.data(), text.size(), 0))) return;
  GpgmeDataObject input(raw);
  raw = nullptr;
  if (!CheckResult(gpgme_data_new(&raw))) return;
  GpgmeDataObject output(raw);

  if (!step({ctx, input.get(), output.get(), recipients})) return;  // the clipboard keeps its text

  std::string result;
  ReadAll(output.get(), &result);
  if (result.empty()) {
    EmptyClipboard();
    return;
  }
  SetClipboardBytes(writeFormat, reading ? ClipboardTextOfPlaintext(result) : result);
}

void TransformClipboardTextOnOwnContext(HWND window, bool verify) {
  const GpgmeContext ctx = NewEngineContext();
  if (!ctx) return;
  const std::unique_ptr<CKeyHandleArray> keys = ListUsableKeys(ctx.get());
  TransformClipboardText(window, ctx.get(), verify ? VerifyTextStep : DecryptTextStep, nullptr);
}

ClipboardContents QueryClipboardContents() {
  switch (QueryClipboardFormat(CF_HDROP)) {
    case ClipboardAnswer::Offered: return ClipboardContents::Files;
    case ClipboardAnswer::NotOffered: return ClipboardContents::Text;
    case ClipboardAnswer::OwnerSilent: break;
  }
  LogRes(IDS_CLIPBOARD_OWNER_SILENT);
  return ClipboardContents::Unanswered;
}

void ReadClipboardFiles(HWND window, std::vector<std::string>& files) {
  ClipboardSession clipboard(window);
  if (!clipboard.open()) return;
  std::vector<std::string> paths, notLocal;
  GetClipboardFiles(&paths, &notLocal);
  for (const std::string& address : notLocal) LogRes(IDS_NOT_A_LOCAL_FILE, DisplayText(address));
  files.insert(files.end(), paths.begin(), paths.end());
}
