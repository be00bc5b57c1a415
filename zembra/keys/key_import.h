// Import of the keys of one key file into the engine's key ring.
#pragma once

#include <gpgme.h>

#include <ostream>
#include <string>

#include "zembra/engine/progress.h"
#include "zembra/operations/outcome.h"

// One import: ok when the engine accepted the data, with the counts the log shows.
struct ImportOutcome : Outcome {
  bool opened = false;  // the file could be read
  int considered = 0;
  int imported = 0;
  int unchanged = 0;
};
std::ostream& operator<<(std::ostream& os, const ImportOutcome& outcome);

// Hands the file to the engine and logs "Importing keys from ..." and the counts; a file that
// cannot be opened, and an engine failure, are logged as "Error: ...".
ImportOutcome ImportKeyFile(gpgme_ctx_t ctx, const std::string& path,
                            const ProgressSink& progress = {});
