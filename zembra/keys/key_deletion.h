// Deletion of a key from the engine's key ring.
#pragma once

#include <gpgme.h>

#include "zembra/operations/outcome.h"

// Deletes the key with its secret part, if it has one (GnuPG asks its pinentry to confirm the
// secret part's deletion). Failed, with the engine's error logged, when the engine refused.
Outcome DeleteKey(gpgme_ctx_t ctx, gpgme_key_t key);
