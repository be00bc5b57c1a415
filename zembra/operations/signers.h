// The choice of signer keys before a signing run.
#pragma once

#include <gpgme.h>

// Adds to ctx's signer list every key of the null-terminated list (null: none) that can sign,
// each looked up again by its long key id so that the engine's own record is used. True when at
// least one was added; keys that cannot sign are passed over without a word.
bool AddSigners(gpgme_ctx_t ctx, gpgme_key_t* keys);
