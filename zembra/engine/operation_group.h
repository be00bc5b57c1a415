// Several engine operations at once, each on a context of its own, all on one loop: the window's
// thread waits on the descriptors of every running operation together (serving the window as
// RunOperation does) and hands each event to the operation whose descriptor it was.
#pragma once

#include <gpgme.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/gui/window_wait.h"

class OperationGroup {
 public:
  // An operation that ended: its context, and what RunOperation would have returned for it.
  struct Ended {
    gpgme_ctx_t ctx;
    gpgme_error_t err;
  };

  OperationGroup();
  // Operations still running are cancelled and their gpg ended.
  ~OperationGroup();
  OperationGroup(const OperationGroup&) = delete;
  OperationGroup& operator=(const OperationGroup&) = delete;

  // start: one gpgme_op_*_start call on ctx, which runs no other operation. endStatus as for
  // RunOperation. Returns the start's error, and then nothing runs on ctx.
  gpgme_error_t Start(gpgme_ctx_t ctx, const std::function<gpgme_error_t()>& start,
                      const char* endStatus = nullptr);

  bool empty() const { return m_ops.empty(); }
  std::size_t size() const { return m_ops.size(); }

  // Serves the running operations until at least one has ended or Wake was called; returns those
  // that ended, in the order they ended (none after a Wake). Each context goes back to GPGME's own
  // loop once its operation has ended.
  std::vector<Ended> Wait();
  // Ends the Wait that runs (from a status callback or a handler of the window's events) so that
  // its caller can start more.
  void Wake();
  // Every running operation ends with OperationCancelled(), at the next round of Wait.
  void Cancel();
  bool cancelled() const { return m_cancelled; }

 private:
  struct Op;
  struct Watch;

  static gpgme_error_t Add(void* op, int fd, int dir, gpgme_io_cb_t handler, void* handlerData,
                           void** tag);
  static void Remove(void* tag);
  static void Event(void* op, gpgme_event_io_t type, void* typeData);
  Ended Finish(Op& op, gpgme_error_t err);

  std::vector<std::unique_ptr<Op>> m_ops;
  WindowServingWait m_wait;
  bool m_woken = false;
  bool m_cancelled = false;
};
