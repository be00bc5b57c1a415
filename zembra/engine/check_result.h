// The one way engine errors are reported.
#pragma once

#include <gpgme.h>

// True for 0; otherwise writes "Error: <engine text>\n" to the log and returns false.
bool CheckResult(gpgme_error_t err);
