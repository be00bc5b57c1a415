#include "zembra/operations/output_file.h"

#include <cerrno>
#include <cstring>

#include "platform/core/text.h"
#include "platform/gui/window_wait.h"
#include "zembra/operations/messages.h"

UniqueFd OpenInput(const std::string& path, Outcome& outcome) {
  bool notRegular = false;
  UniqueFd input = OpenInputFile(path, &notRegular);
  if (input.valid()) return input;
  const int error = errno;
  if (notRegular)
    outcome.End(IDS_INPUT_NOT_REGULAR, DisplayText(path));
  else
    outcome.End(IDS_CANNOT_OPEN_INPUT, DisplayText(path), std::strerror(error));
  return input;
}

bool OpenOutput(CommittedOutput& output, Outcome& outcome) {
  if (output.Open()) return true;
  const int error = errno;
  outcome.End(IDS_CANNOT_CREATE_OUTPUT, DisplayText(output.target()), std::strerror(error));
  return false;
}

namespace {

// The data of a large output takes a while to reach the disk; the window goes on meanwhile.
void FlushOutput(CommittedOutput& output) {
  RunServingWindows([&output] { output.Flush(); });
}

}  // namespace

bool CommitOutput(CommittedOutput& output, Outcome& outcome) {
  FlushOutput(output);
  if (!output.Commit()) {
    outcome.End(IDS_ERROR, std::strerror(errno));
    return false;
  }
  outcome.output = output.target();
  return true;
}

bool CommitNewOutput(CommittedOutput& output, Outcome& outcome) {
  FlushOutput(output);
  if (!output.CommitNoReplace()) {
    if (errno == EEXIST)
      outcome.End(IDS_FILE_EXISTS, DisplayText(output.target()));
    else
      outcome.End(IDS_ERROR, std::strerror(errno));
    return false;
  }
  outcome.output = output.target();
  return true;
}
