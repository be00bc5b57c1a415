// Export of keys to a file.
#pragma once

#include <gpgme.h>

#include <ostream>
#include <string>

#include "zembra/operations/outcome.h"

// One export: the file written (output) once it is complete.
struct ExportOutcome : Outcome {
  bool opened = false;  // the file could be created
};
std::ostream& operator<<(std::ostream& os, const ExportOutcome& outcome);

// Writes the keys (a null-terminated list) to path, ASCII armored unless binary, the secret keys
// when secret. Logs "Exporting key(s) to ..." and "Done." or the error. The file appears only
// complete: a failed export leaves no file behind and an existing file as it was. A secret-key
// export is readable by its owner alone from its first byte on.
ExportOutcome ExportKeys(gpgme_ctx_t ctx, const std::string& path, gpgme_key_t* keys, bool secret,
                         bool binary);
