// What a verification found, one line per signature, so that a bad, unknown or missing
// signature never passes for a good one.
#pragma once

#include <gpgme.h>

#include <ostream>
#include <string>
#include <vector>

#include "zembra/operations/outcome.h"

// One signature of a verification result, copied out of the engine's result so that it
// outlives the next operation on the context.
struct SignatureCheck {
  std::string fpr;  // fingerprint, or the key id when the key is unknown
  gpgme_error_t status = 0;
  unsigned summary = 0;
  gpgme_validity_t validity = GPGME_VALIDITY_UNKNOWN;
};
std::ostream& operator<<(std::ostream& os, const SignatureCheck& check);

// The signatures of the last verification on ctx, in the engine's order.
std::vector<SignatureCheck> SignaturesOf(gpgme_ctx_t ctx);

// Good: the engine checked it and neither the key nor the signature is expired or revoked.
bool IsGood(const SignatureCheck& check);

// Writes one line per signature with the signer's user id (looked up in ctx; the key id when the
// key is unknown) and its state; then, unless there was at least one signature and every one is
// good, an error line that ends the report as failed. A report that is ok ends silently; the
// caller then writes "Done.\n".
Outcome ReportSignatures(gpgme_ctx_t ctx, const std::vector<SignatureCheck>& checks);
