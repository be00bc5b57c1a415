// The input and output files of a file operation, and the lines their failures write: a file
// that cannot be opened or created says so, with its name and the reason.
#pragma once

#include <string>

#include "platform/core/files.h"
#include "platform/core/unique_fd.h"
#include "zembra/operations/outcome.h"

// Opens the input; on failure ends the outcome with "Error: cannot open "<name>": <reason>", or
// "... not a regular file" for a device, FIFO or socket, which is never read.
UniqueFd OpenInput(const std::string& path, Outcome& outcome);

// Opens the output; on failure ends the outcome with "Error: cannot create "<name>": <reason>".
bool OpenOutput(CommittedOutput& output, Outcome& outcome);
// Gives the output its name, replacing a file of that name; records the name in the outcome, or
// ends it with the system's reason.
bool CommitOutput(CommittedOutput& output, Outcome& outcome);
// As CommitOutput, but a file that took the name meanwhile is kept: "File already exists".
bool CommitNewOutput(CommittedOutput& output, Outcome& outcome);
