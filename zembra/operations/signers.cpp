#include "zembra/operations/signers.h"

#include "zembra/engine/check_result.h"

bool AddSigners(gpgme_ctx_t ctx, gpgme_key_t* keys) {
  if (keys == nullptr) return false;
  bool added = false;
  for (gpgme_key_t* key = keys; *key != nullptr; ++key) {
    if ((*key)->subkeys == nullptr || (*key)->subkeys->keyid == nullptr) continue;
    gpgme_key_t fetched = nullptr;
    if (gpgme_get_key(ctx, (*key)->subkeys->keyid, &fetched, 0) != 0 || fetched == nullptr)
      continue;
    // The signer list takes a reference of its own.
    if (fetched->can_sign && CheckResult(gpgme_signers_add(ctx, fetched))) added = true;
    gpgme_key_unref(fetched);
  }
  return added;
}
