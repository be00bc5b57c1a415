// Runs an engine operation on a poll loop of our own rather than on GPGME's.
//
// GPGME 1.18's loop waits on the pipe that feeds gpg for readiness to write only. When gpg dies
// with input still to come, poll reports an error on that pipe, never readiness, and the loop
// spins at full speed for ever. This loop hands every event of a descriptor, errors and hang-ups
// included, to GPGME's handler: its write then fails and ends the operation with that error.
#pragma once

#include <gpgme.h>

#include <functional>

// start: one gpgme_op_*_start call on ctx.
//
// GPGME takes a pipe that gpg closed as a sign that gpg will say why on its status channel; a
// gpg that was killed says nothing, and the operation then ends without an error over output
// that stops short. endStatus names the status line gpg writes once the output is complete:
// without it, the operation ends with GPG_ERR_UNFINISHED.
//
// A key ring that a stopped gpg left half-updated is completed first (key_ring_repair.h).
//
// Returns what the synchronous call would: the error of the start or of the operation's input
// and output; the operation's result (gpgme_op_*_result) is then ready on ctx. With an
// endStatus, keyRingError (when given) receives the error of a key ring gpg could not open.
//
// endInput, when given, is how a cancel stops an operation whose work up to any point stands on
// its own (an import: each key is in the ring once gpg took it): it ends the operation's input,
// gpg finishes with what it read and says what it did, and the operation ends with
// OperationCancelled(), its result ready. A second cancel stops gpg as any cancel does.
gpgme_error_t RunOperation(gpgme_ctx_t ctx, const std::function<gpgme_error_t()>& start,
                           const char* endStatus = nullptr, gpgme_error_t* keyRingError = nullptr,
                           const std::function<void()>& endInput = nullptr);

// A key listing (start: a gpgme_op_keylist_*_start call on ctx) on the same loop: GPGME hands
// each key to take as the engine lists it, with the reference that is then take's. Returns as
// RunOperation does; a cancel keeps the keys taken so far with their owner.
gpgme_error_t RunKeyListing(gpgme_ctx_t ctx, const std::function<gpgme_error_t()>& start,
                            const std::function<void(gpgme_key_t key)>& take);

// Asks the operation that RunOperation runs on ctx to stop, from a handler of the window's events
// during it: the operation ends with OperationCancelled(), gpg ended as on any other error. False
// when no operation runs on ctx.
bool CancelOperation(gpgme_ctx_t ctx);
// The error of an operation cancelled so: GPG_ERR_CANCELED, told apart by its source from the
// engine's own cancels (a passphrase prompt closed, say), which keep their message.
gpgme_error_t OperationCancelled();
bool IsOperationCancelled(gpgme_error_t err);

// Watches the engine's status lines for the one gpg writes when the operation's output is
// complete, around a synchronous call (some, like an export, return errors that the
// asynchronous form cannot get at). The context's own status callback and setting are back
// afterwards. A null keyword watches nothing and counts as seen.
class EndStatusWatch {
 public:
  EndStatusWatch(gpgme_ctx_t ctx, const char* keyword);
  ~EndStatusWatch();
  EndStatusWatch(const EndStatusWatch&) = delete;
  EndStatusWatch& operator=(const EndStatusWatch&) = delete;

  bool seen() const { return !m_keyword || m_seen; }
  // The error of the key ring gpg could not open and went on without, or 0.
  gpgme_error_t keyRingError() const { return m_keyRingError; }
  // The error of the first other ERROR status line gpg wrote, or 0. An export reports a refusal
  // (a cancelled passphrase, say) only so, and GPGME returns it from the synchronous call alone.
  gpgme_error_t engineError() const { return m_engineError; }

 private:
  static gpgme_error_t Seen(void* hook, const char* keyword, const char* args);

  gpgme_ctx_t m_ctx;
  const char* m_keyword;
  bool m_seen = false;
  gpgme_error_t m_keyRingError = 0;
  gpgme_error_t m_engineError = 0;
  gpgme_status_cb_t m_savedCb = nullptr;
  void* m_savedHook = nullptr;
  bool m_savedFull = false;
};
