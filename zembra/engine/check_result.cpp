#include "zembra/engine/check_result.h"

#include "platform/core/log.h"
#include "zembra/engine/message_ids.h"

bool CheckResult(gpgme_error_t err) {
  if (gpgme_err_code(err) == GPG_ERR_NO_ERROR) return true;
  LogRes(IDS_ERROR, gpgme_strerror(err));
  return false;
}
