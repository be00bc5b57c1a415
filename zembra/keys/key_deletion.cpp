#include "zembra/keys/key_deletion.h"

#include "zembra/engine/operation_loop.h"

Outcome DeleteKey(gpgme_ctx_t ctx, gpgme_key_t key) {
  // The engine's refusal (a secret key, say) arrives as the operation's error, as it would
  // from the synchronous call.
  Outcome outcome;
  outcome.Check(RunOperation(ctx, [&] { return gpgme_op_delete_start(ctx, key, 1); }));
  return outcome;
}
