// What one operation did, as a value: the output it wrote, the message that ended it and whether
// it failed. Every operation returns one (the key operations a kind of it with what they add), so
// a test and the window read what happened the same way. It prints itself, so a test that fails
// shows what the operation did.
#pragma once

#include <gpgme.h>

#include <ostream>
#include <string>

#include "platform/core/format.h"
#include "platform/core/log.h"

struct Outcome {
  std::string output;   // the name the output was written under; "" when nothing was written
  int message = 0;      // id of the message that ended it; 0 when it ended without a word
  std::string line;     // that message as the log shows it
  bool failed = false;  // it ended by a failure (an output may still have been written)

  bool written() const { return !output.empty(); }
  bool ok() const { return !failed; }

  // Writes message id to the log and records it as the failure that ended the operation.
  template <typename... Args>
  Outcome& End(int id, const Args&... args) {
    return EndWith(id, FormatText(MessageText(id), args...));
  }
  // Writes "Done." and records it as the end of an operation that succeeded.
  Outcome& Done();
  // True for 0; otherwise ends with "Error: <engine text>\n", as CheckResult does, or with
  // "Cancelled." for an operation the user cancelled.
  bool Check(gpgme_error_t err);

 protected:
  // A failure whose text is not a message of the table (id 0).
  Outcome& EndWith(int id, std::string text);
};

std::ostream& operator<<(std::ostream& os, const Outcome& outcome);
