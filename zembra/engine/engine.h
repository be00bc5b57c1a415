// Engine start-up and the key home.
#pragma once

#include <gpgme.h>

#include <memory>
#include <string>
#include <thread>

// Undecided before the first InitEngine of the process, then Full or Portable for good. The values
// are the numbers the trace shows.
enum class InstallMode { Undecided = -1, Portable = 0, Full = 1 };
extern InstallMode g_installMode;
// Portable mode: the folder of libZembra.so followed by "/keys". Empty in full mode.
extern std::string g_keyHome;

// Initialises GPGME and, once per process, the installation mode and key home; then checks the
// engine. Errors are logged through CheckResult.
gpgme_error_t InitEngine(gpgme_protocol_t protocol);
// Points a new context at the key home in portable mode.
gpgme_error_t SetupContext(gpgme_ctx_t* ctx);

// GPGME asks the engine for its version before the first context of a process (and, where it
// has to ask gpgconf first, four more programs). A program makes one of these first thing, before
// Qt starts, so that the query runs on a thread of its own while Qt starts and the window is
// built; InitEngine then waits only for what is left of it (GPGME answers every later check from
// the first one's result).
class EngineWarmUp {
 public:
  EngineWarmUp();
  ~EngineWarmUp();
  EngineWarmUp(const EngineWarmUp&) = delete;
  EngineWarmUp& operator=(const EngineWarmUp&) = delete;

 private:
  std::thread m_query;
};

struct GpgmeContextDeleter {
  void operator()(gpgme_ctx_t ctx) const { gpgme_release(ctx); }
};
using GpgmeContext = std::unique_ptr<std::remove_pointer_t<gpgme_ctx_t>, GpgmeContextDeleter>;

struct GpgmeDataDeleter {
  void operator()(gpgme_data_t data) const { gpgme_data_release(data); }
};
// Not "GpgmeData": gpgme.h still declares that name as a deprecated typedef.
using GpgmeDataObject = std::unique_ptr<std::remove_pointer_t<gpgme_data_t>, GpgmeDataDeleter>;

// Initialises the engine and opens a context pointed at the key home: what every window and
// host call that works on keys starts from. Null when the engine or the context cannot be had;
// the failure is logged through CheckResult.
GpgmeContext NewEngineContext();
