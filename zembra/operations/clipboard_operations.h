// The four operations on clipboard text, in place, and the reading of a copied file list.
#pragma once

#include <gpgme.h>

#include <string>
#include <vector>

#include "platform/gui/clipboard.h"
#include "zembra/engine/progress.h"
#include "zembra/operations/outcome.h"

// What one text step works on; recipients only for encryption.
struct TextStepData {
  gpgme_ctx_t ctx;
  gpgme_data_t input;
  gpgme_data_t output;
  gpgme_key_t* recipients;
};

// Each writes its start message and ends its outcome with "Done." or the failure.
Outcome EncryptTextStep(const TextStepData& data);
Outcome DecryptTextStep(const TextStepData& data);
Outcome SignTextStep(const TextStepData& data);
Outcome VerifyTextStep(const TextStepData& data);

using TextStep = Outcome (*)(const TextStepData&);

// Runs one text step on the clipboard's text, telling progress how far the engine has read it.
// Text goes to the engine as UTF-8 without a terminator; what comes back replaces the clipboard
// contents only when the step succeeded, so a failure leaves the clipboard as it was.
Outcome TransformClipboardText(Clipboard& clipboard, gpgme_ctx_t ctx, TextStep step,
                               gpgme_key_t* recipients, const ProgressSink& progress = {});

// Decrypts the clipboard's text in place, or verifies it (verify), on an engine context of its
// own: for a host program that has no window of ours and so no context.
Outcome TransformClipboardTextOnOwnContext(Clipboard& clipboard, bool verify,
                                           const ProgressSink& progress = {});

// What the clipboard holds for an operation; a copied file list is preferred to text.
enum class ClipboardContents { Files, Text, Unanswered };
// An owner that did not answer is said once in the log, and not asked again for its text.
ClipboardContents QueryClipboardContents(const Clipboard& clipboard);

// The paths of the clipboard's copied file list, byte for byte, in order; the addresses of
// another computer's files are skipped with a line each.
std::vector<std::string> ReadClipboardFiles(Clipboard& clipboard);
