// The four operations on clipboard text, in place, and the reading of a copied file list.
#pragma once

#include <gpgme.h>

#include <string>
#include <vector>

#include "platform/gui/win_api.h"

// What one text step works on; recipients only for encryption.
struct TextStepData {
  gpgme_ctx_t ctx;
  gpgme_data_t input;
  gpgme_data_t output;
  gpgme_key_t* recipients;
};

// Each writes its start message and its outcome; true on success.
bool EncryptTextStep(const TextStepData& data);
bool DecryptTextStep(const TextStepData& data);
bool SignTextStep(const TextStepData& data);
bool VerifyTextStep(const TextStepData& data);

using TextStep = bool (*)(const TextStepData&);

// Runs one text step on the clipboard's text. Text goes to the engine as UTF-8 without a
// terminator; what comes back replaces the clipboard contents only when the step succeeded, so a
// failure leaves the clipboard as it was.
void TransformClipboardText(HWND window, gpgme_ctx_t ctx, TextStep step, gpgme_key_t* recipients);

// Decrypts the clipboard's text in place, or verifies it (verify), on an engine context of its
// own: for a host program that has no window of ours and so no context.
void TransformClipboardTextOnOwnContext(HWND window, bool verify);

// What the clipboard holds for an operation; a copied file list is preferred to text.
enum class ClipboardContents { Files, Text, Unanswered };
// An owner that did not answer is said once in the log, and not asked again for its text.
ClipboardContents QueryClipboardContents();

// Appends the paths of the clipboard's copied file list, byte for byte, in order.
void ReadClipboardFiles(HWND window, std::vector<std::string>& files);
