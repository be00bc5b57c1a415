#include "zembra/keys/key_deletion.h"

#include "zembra/operations/log.h"

bool DeleteKey(gpgme_ctx_t ctx, gpgme_key_t key) {
  return CheckResult(gpgme_op_delete(ctx, key, 1));
}
