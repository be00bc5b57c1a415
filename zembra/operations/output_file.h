// The output file of a file operation, and the lines its failures write. An output that cannot
// be created says so (its name and the system's reason); only inputs are skipped silently.
#pragma once

#include "platform/core/files.h"
#include "zembra/operations/outcome.h"

// Opens the output; on failure ends the outcome with "Error: cannot create "<name>": <reason>".
bool OpenOutput(CommittedOutput& output, Outcome& outcome);
// Gives the output its name, replacing a file of that name; records the name in the outcome, or
// ends it with the system's reason.
bool CommitOutput(CommittedOutput& output, Outcome& outcome);
// As CommitOutput, but a file that took the name meanwhile is kept: "File already exists".
bool CommitNewOutput(CommittedOutput& output, Outcome& outcome);
