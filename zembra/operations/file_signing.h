// Signing and verifying one file, without a window. Outputs are committed only when the engine
// has finished (and, for verification, every signature is good), so a failure never leaves a
// partial file and never puts unauthenticated content under the clean name.
#pragma once

#include <gpgme.h>

#include <string>

#include "zembra/engine/progress.h"
#include "zembra/operations/outcome.h"

// report.txt -> report.txt.signed.gpg.
std::string SignedName(const std::string& path);
// Report.TXT.SIGNED.GPG -> Report.TXT; notes.gpg -> notes.gpg.verified.
std::string VerifiedName(const std::string& path);

// A binary signed message by ctx's signers (armor switched off), replacing an existing file of
// the output name only when complete.
Outcome SignFile(gpgme_ctx_t ctx, const std::string& path, const ProgressSink& progress = {});
// The signed content, written only when there is at least one signature and every one is good;
// an existing file of the output name is never replaced.
Outcome VerifyFile(gpgme_ctx_t ctx, const std::string& path, const ProgressSink& progress = {});
