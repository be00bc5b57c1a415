// Generation of a key pair in the engine's key ring from a parameter block.
#pragma once

#include <gpgme.h>

#include <ostream>
#include <string>
#include <utility>

#include "platform/gui/win_api.h"
#include "zembra/keys/key_parms.h"
#include "zembra/operations/outcome.h"

// What a generation produced, copied out of the engine's result so that it outlives the context;
// generated() is false when the engine gave no generation result.
class CGenKeyResult : public Outcome {
 public:
  CGenKeyResult() = default;
  // Records the engine's result; nothing when it is null.
  void Adopt(gpgme_genkey_result_t result);
  // A refused parameter block: the refusal is logged and ends the generation.
  void Refuse(std::string text) { EndWith(0, std::move(text)); }

  bool generated() const { return m_generated; }
  bool primary() const { return m_primary; }
  bool sub() const { return m_sub; }
  // The new key's fingerprint; empty when the engine gave none.
  const std::string& fingerprint() const { return m_fingerprint; }
  bool hasFingerprint() const { return m_hasFingerprint; }

 private:
  bool m_generated = false;
  bool m_primary = false;
  bool m_sub = false;
  bool m_hasFingerprint = false;
  std::string m_fingerprint;
};
std::ostream& operator<<(std::ostream& os, const CGenKeyResult& result);

// Builds the block and has the engine generate the key; a failure is logged as "Error: ...".
// Nothing is generated when the engine gave no generation result, and when the block was refused
// (then nothing reaches the engine and the refusal is logged).
CGenKeyResult GenerateKey(gpgme_ctx_t ctx, const KeyParms& parms);

// The expiry value of a calendar selection: "YYYYMMDDThhmmss".
std::string ExpiryText(const SYSTEMTIME& date);
