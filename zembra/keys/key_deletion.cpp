#include "zembra/keys/key_deletion.h"

#include "zembra/engine/check_result.h"

bool DeleteKey(gpgme_ctx_t ctx, gpgme_key_t key) {
  return CheckResult(gpgme_op_delete(ctx, key, 1));
}
