// Encryption and decryption of one file: the engine reads the input through a progress-moving
// stream and writes into a temporary file beside the output name, which takes that name only
// when the engine has succeeded. A failed run leaves no empty or partial output behind and never
// touches a file that already had the output name; decrypted data that was not accepted by the
// engine is never put where a user would take it for the plaintext.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/core/files.h"
#include "platform/core/text.h"
#include "zembra/engine/file_stream.h"
#include "zembra/operations/log.h"
#include "zembra/operations/messages.h"
#include "zembra/ui/dlg_progress.h"

namespace {

constexpr std::string_view kEncryptedEnding = ".gpg";
constexpr std::string_view kSignedEnding = ".signed.gpg";
constexpr std::string_view kDecryptedEnding = ".decrypted";

// Input handles are FileStreams, output handles bare descriptors.
bool MakeData(GpgmeDataObject& data, void* handle) {
  gpgme_data_t raw = nullptr;
  const bool made = CheckResult(gpgme_data_new_from_cbs(&raw, FileCallbacks(), handle));
  data.reset(raw);
  // GPGME moves the data to and from the engine in chunks of its buffer's size, 4 KiB unless
  // told otherwise; a chunk the size of a pipe's capacity takes a large file through in far
  // fewer rounds. A refusal only leaves the default.
  if (made) gpgme_data_set_flag(raw, "io-buffer-size", "65536");
  return made;
}

// The output name of a decryption: ".signed.gpg" or ".gpg" taken off, else ".decrypted" added.
std::string DecryptedName(const std::string& path) {
  if (EndsWithNoCase(path, kEncryptedEnding)) {
    if (EndsWithNoCase(path, kSignedEnding)) return path.substr(0, path.size() - kSignedEnding.size());
    return path.substr(0, path.size() - kEncryptedEnding.size());
  }
  return path + std::string(kDecryptedEnding);
}

void LogSystemError(int error) { LogRes(IDS_ERROR, std::strerror(error)); }

}  // namespace

void CDlgProgress::Encrypt(const std::string& path, gpgme_key_t* recipients) {
  gpgme_set_armor(m_ctx.get(), 0);

  UniqueFd input = OpenInputFile(path);
  if (!input.valid()) return;
  FileStream inStream = MakeFileStream(input.get(), m_hProgress);
  GpgmeDataObject inData;
  if (!MakeData(inData, &inStream)) return;

  // An existing file of the output name is replaced, but only by a complete encryption.
  CommittedOutput output(path + std::string(kEncryptedEnding));
  if (!output.Open()) return;
  int outFd = output.fd();
  GpgmeDataObject outData;
  if (!MakeData(outData, &outFd)) return;

  LogRes(IDS_ENCRYPTING_FILE, DisplayText(path));
  if (!CheckResult(gpgme_op_encrypt(m_ctx.get(), recipients, GPGME_ENCRYPT_ALWAYS_TRUST,
                                    inData.get(), outData.get())))
    return;
  gpgme_encrypt_result_t result = gpgme_op_encrypt_result(m_ctx.get());
  outData.reset();
  if (!output.Commit()) {
    LogSystemError(errno);
    return;
  }
  if (result && result->invalid_recipients)
    LogRes(IDS_INVALID_RECIPIENT, result->invalid_recipients->fpr);
  else
    LogRes(IDS_DONE);
}

void CDlgProgress::Decrypt(const std::string& path) {
  UniqueFd input = OpenInputFile(path);
  if (!input.valid()) return;
  FileStream inStream = MakeFileStream(input.get(), m_hProgress);
  GpgmeDataObject inData;
  if (!MakeData(inData, &inStream)) return;

  const std::string outPath = DecryptedName(path);
  // Decryption never replaces a file.
  if (PathExists(outPath)) {
    LogRes(IDS_FILE_EXISTS, DisplayText(outPath));
    return;
  }
  CommittedOutput output(outPath);
  if (!output.Open()) return;
  int outFd = output.fd();
  GpgmeDataObject outData;
  if (!MakeData(outData, &outFd)) return;

  LogRes(IDS_DECRYPTING_FILE, DisplayText(path));
  // Until the engine has accepted the whole message, the plaintext stays in the temporary file
  // and goes away with it.
  if (!CheckResult(gpgme_op_decrypt(m_ctx.get(), inData.get(), outData.get()))) return;
  gpgme_decrypt_result_t result = gpgme_op_decrypt_result(m_ctx.get());
  outData.reset();
  // The output name was free before the engine ran; a file that took it meanwhile is kept.
  if (!output.CommitNoReplace()) {
    if (errno == EEXIST)
      LogRes(IDS_FILE_EXISTS, DisplayText(outPath));
    else
      LogSystemError(errno);
    return;
  }
  if (result && result->unsupported_algorithm)
    LogRes(IDS_UNSUPPORTED_ALGORITHM, result->unsupported_algorithm);
  else
    LogRes(IDS_DONE);
}
