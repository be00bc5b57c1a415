#include "zembra/keys/key_generation.h"

#include <algorithm>

#include "platform/core/format.h"
#include "zembra/engine/operation_loop.h"

void CGenKeyResult::Adopt(gpgme_genkey_result_t result) {
  if (result == nullptr) return;
  m_generated = true;
  m_primary = result->primary != 0;
  m_sub = result->sub != 0;
  m_hasFingerprint = result->fpr != nullptr;
  m_fingerprint = result->fpr != nullptr ? result->fpr : "";
}

std::ostream& operator<<(std::ostream& os, const CGenKeyResult& result) {
  os << static_cast<const Outcome&>(result);
  if (!result.generated()) return os << " nothing generated";
  return os << " generated" << (result.primary() ? " primary" : "") << (result.sub() ? " sub" : "")
            << " fpr " << (result.hasFingerprint() ? result.fingerprint() : "(none)");
}

CGenKeyResult GenerateKey(gpgme_ctx_t ctx, const KeyParms& parms) {
  CGenKeyResult outcome;
  KeyParmsBlock block = BuildKeyParms(parms);
  if (!block.ok()) {
    // The dialog refuses such fields before this; a caller that did not must not reach the engine.
    outcome.Refuse(KeyParmsRefusalText(block) + "\n");
    return outcome;
  }
  const bool ran = outcome.Check(RunOperation(
      ctx, [&] { return gpgme_op_genkey_start(ctx, block.text.c_str(), nullptr, nullptr); }));
  // The block held the passphrase: it does not stay in freed memory.
  std::fill(block.text.begin(), block.text.end(), '\0');
  // A stopped or cancelled engine leaves an empty result behind, which is no key; one that failed
  // after making the key names it.
  gpgme_genkey_result_t made = gpgme_op_genkey_result(ctx);
  if (ran || (made != nullptr && made->fpr != nullptr)) outcome.Adopt(made);
  return outcome;
}

std::string ExpiryText(const SYSTEMTIME& date) {
  return FormatText("%04d%02d%02dT%02d%02d%02d", date.wYear, date.wMonth, date.wDay, date.wHour,
                    date.wMinute, date.wSecond);
}
