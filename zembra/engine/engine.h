// Engine start-up and the key home.
#pragma once

#include <gpgme.h>

#include <memory>
#include <string>

// -1 before the first InitEngine of the process, then 1 (full installation) or 0 (portable).
extern int g_installMode;
// Portable mode: the folder of libZembra.so followed by "/keys". Empty in full mode.
extern std::string g_keyHome;

// Initialises GPGME and, once per process, the installation mode and key home; then checks the
// engine. Errors are logged through CheckResult.
gpgme_error_t InitEngine(gpgme_protocol_t protocol);
// Points a new context at the key home in portable mode.
gpgme_error_t SetupContext(gpgme_ctx_t* ctx);

struct GpgmeContextDeleter {
  void operator()(gpgme_ctx_t ctx) const { gpgme_release(ctx); }
};
using GpgmeContext = std::unique_ptr<std::remove_pointer_t<gpgme_ctx_t>, GpgmeContextDeleter>;

struct GpgmeDataDeleter {
  void operator()(gpgme_data_t data) const { gpgme_data_release(data); }
};
// Not "GpgmeData": gpgme.h still declares that name as a deprecated typedef.
using GpgmeDataObject = std::unique_ptr<std::remove_pointer_t<gpgme_data_t>, GpgmeDataDeleter>;
