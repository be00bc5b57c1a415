#include "zembra/keys/key_deletion.h"

#include "zembra/engine/check_result.h"
#include "zembra/engine/operation_loop.h"

bool DeleteKey(gpgme_ctx_t ctx, gpgme_key_t key) {
  // The engine's refusal (a secret key, say) arrives as the operation's error, as it would
  // from the synchronous call.
  return CheckResult(RunOperation(ctx, [&] { return gpgme_op_delete_start(ctx, key, 1); }));
}
