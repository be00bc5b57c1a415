// What one operation did, as a value: the output it wrote and the message that ended it. It
// prints itself, so a test that fails shows what the operation did.
#pragma once

#include <gpgme.h>

#include <ostream>
#include <string>

#include "platform/core/format.h"
#include "platform/core/log.h"

struct Outcome {
  std::string output;  // the name the output was written under; "" when nothing was written
  int message = 0;     // id of the message that ended it; 0 when it ended without a word
  std::string line;    // that message as the log shows it

  bool written() const { return !output.empty(); }

  // Writes message id to the log and records it as the end of the operation.
  template <typename... Args>
  Outcome& End(int id, const Args&... args) {
    return EndWith(id, FormatText(MessageText(id), args...));
  }
  // True for 0; otherwise ends with "Error: <engine text>\n", as CheckResult does.
  bool Check(gpgme_error_t err);

 private:
  Outcome& EndWith(int id, std::string text);
};

std::ostream& operator<<(std::ostream& os, const Outcome& outcome);
