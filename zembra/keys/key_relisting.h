// The usable keys listed again on the operations loop, apart from key_list.h, whose listing needs
// no loop (host programs and tools link it without one).
#pragma once

#include <gpgme.h>

#include <memory>

#include "zembra/keys/key_list.h"

// As ListUsableKeys, but on the operations loop, so that a window serves its events while a large
// key ring is read, for a window's command (which holds the window busy meanwhile). Null when the
// listing failed or was cancelled, which the log says.
std::unique_ptr<CKeyHandleArray> ListUsableKeysServingWindow(gpgme_ctx_t ctx);
