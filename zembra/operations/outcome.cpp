#include "zembra/operations/outcome.h"

#include <utility>

#include "platform/core/text.h"
#include "zembra/engine/operation_loop.h"
#include "zembra/operations/messages.h"

Outcome& Outcome::EndWith(int id, std::string text) {
  message = id;
  line = std::move(text);
  failed = true;
  AppendLogText(line);
  return *this;
}

Outcome& Outcome::Done() {
  message = IDS_DONE;
  line = MessageText(IDS_DONE);
  failed = false;
  AppendLogText(line);
  return *this;
}

bool Outcome::Check(gpgme_error_t err) {
  if (gpgme_err_code(err) == GPG_ERR_NO_ERROR) return true;
  if (IsOperationCancelled(err)) {
    End(IDS_CANCELLED);
    return false;
  }
  End(IDS_ERROR, gpgme_strerror(err));
  return false;
}

std::ostream& operator<<(std::ostream& os, const Outcome& outcome) {
  os << "Outcome{";
  if (outcome.written())
    os << "wrote \"" << DisplayText(outcome.output) << "\"";
  else
    os << "wrote nothing";
  if (outcome.line.empty()) return os << (outcome.failed ? ", failed silently}" : ", silent}");
  std::string line = DisplayText(outcome.line);
  if (!line.empty() && line.back() == '\n') line.pop_back();
  if (outcome.message != 0) os << ", message " << outcome.message;
  return os << " \"" << line << "\"}";
}
