#include "zembra/keys/key_relisting.h"

#include "platform/core/log.h"
#include "zembra/engine/check_result.h"
#include "zembra/engine/message_ids.h"
#include "zembra/engine/operation_loop.h"

std::unique_ptr<CKeyHandleArray> ListUsableKeysServingWindow(gpgme_ctx_t ctx) {
  auto keys = std::make_unique<CKeyHandleArray>();
  const gpgme_error_t err = RunKeyListing(
      ctx, [ctx] { return gpgme_op_keylist_start(ctx, nullptr, 0); },
      [&keys](gpgme_key_t key) {
        if (IsUsableKey(key))
          keys->push_back(CKeyHandle::Adopt(key));
        else
          gpgme_key_unref(key);
      });
  if (IsOperationCancelled(err)) {
    LogRes(IDS_CANCELLED);
    return nullptr;
  }
  if (!CheckResult(err)) return nullptr;
  return keys;
}
