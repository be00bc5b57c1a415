// The one way engine errors are reported.
#pragma once

#include <gpgme.h>

// The id of "Error: %hs\n" in the message table; the engine's own errors end with it.
inline constexpr int kEngineErrorMessage = 9119;

// True for 0; otherwise writes "Error: <engine text>\n" to the log and returns false.
bool CheckResult(gpgme_error_t err);
