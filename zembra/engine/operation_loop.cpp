#include "zembra/engine/operation_loop.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/core/descriptor_wait.h"
#include "platform/core/pipe_holders.h"
#include "platform/gui/window_wait.h"
#include "zembra/engine/key_ring_repair.h"

namespace {

// One descriptor GPGME asked us to watch; GPGME's tag for it is its address.
struct Watch {
  int fd;
  bool forWriting;
  gpgme_io_cb_t handler;
  void* handlerData;
  bool live = true;
};

class OperationLoop {
 public:
  OperationLoop(gpgme_ctx_t ctx, const std::function<void()>& endInput,
                const std::function<void(gpgme_key_t)>& takeKey)
      : m_ctx(ctx), m_endInput(endInput), m_takeKey(takeKey) {
    gpgme_get_io_cbs(ctx, &m_saved);
    gpgme_io_cbs ours{&Add, this, &Remove, &Event, this};
    gpgme_set_io_cbs(ctx, &ours);
  }
  // The context goes back to GPGME's own loop for the synchronous calls that follow.
  ~OperationLoop() { gpgme_set_io_cbs(m_ctx, &m_saved); }
  OperationLoop(const OperationLoop&) = delete;
  OperationLoop& operator=(const OperationLoop&) = delete;

  // The pipes GPGME gave us to watch; gpg holds their other ends.
  const std::vector<std::uint64_t>& pipes() const { return m_pipes; }

  // The loop that runs on ctx, found by the callbacks it set there; null when there is none.
  static OperationLoop* Running(gpgme_ctx_t ctx) {
    gpgme_io_cbs cbs{};
    gpgme_get_io_cbs(ctx, &cbs);
    return cbs.add == &Add ? static_cast<OperationLoop*>(cbs.add_priv) : nullptr;
  }

  void RequestCancel() {
    m_cancelRequested = true;
    m_wait.Interrupt();
  }

  gpgme_error_t Run() {
    std::vector<DescriptorWait> fds;
    while (!m_done) {
      if (m_cancelRequested) {
        if (!m_endInput || m_inputEnded) return Cancel(OperationCancelled());
        m_cancelRequested = false;
        m_inputEnded = true;
        m_endInput();
      }
      std::erase_if(m_watches, [](const std::unique_ptr<Watch>& w) { return !w->live; });
      // GPGME ends every operation it started with a done event; an operation that has nothing
      // left to watch without one would otherwise wait for ever.
      if (m_watches.empty()) return Cancel(gpg_error(GPG_ERR_INTERNAL));
      fds.clear();
      for (const auto& w : m_watches) fds.push_back({w->fd, w->forWriting});
      if (const int error = m_wait.Wait(fds)) return Cancel(gpg_error_from_errno(error));
      // Handlers may add watches (appended) or remove any; those of this round stay at their
      // places, and a removed one is not called.
      for (std::size_t i = 0; i < fds.size() && !m_done; ++i) {
        if (!fds[i].happened || !m_watches[i]->live) continue;
        // A descriptor closed behind GPGME's back would be reported on every round.
        if (fds[i].invalid) return Cancel(gpg_error(GPG_ERR_EBADF));
        m_watches[i]->handler(m_watches[i]->handlerData, fds[i].fd);
      }
    }
    return m_inputEnded ? OperationCancelled() : m_err;
  }

 private:
  static gpgme_error_t Add(void* loop, int fd, int dir, gpgme_io_cb_t handler, void* handlerData,
                           void** tag) {
    auto* self = static_cast<OperationLoop*>(loop);
    if (const std::uint64_t pipe = PipeIdOf(fd)) self->m_pipes.push_back(pipe);
    auto& watches = self->m_watches;
    watches.push_back(std::make_unique<Watch>(Watch{fd, dir == 0, handler, handlerData}));
    *tag = watches.back().get();
    return 0;
  }

  static void Remove(void* tag) { static_cast<Watch*>(tag)->live = false; }

  static void Event(void* loop, gpgme_event_io_t type, void* typeData) {
    auto* self = static_cast<OperationLoop*>(loop);
    // On a loop of the user's, a listed key is the user's, not queued for gpgme_op_keylist_next.
    if (type == GPGME_EVENT_NEXT_KEY) {
      auto* key = static_cast<gpgme_key_t>(typeData);
      if (self->m_takeKey)
        self->m_takeKey(key);
      else
        gpgme_key_unref(key);
      return;
    }
    if (type != GPGME_EVENT_DONE) return;
    const auto* done = static_cast<gpgme_io_event_done_data_t>(typeData);
    self->m_done = true;
    // As the synchronous calls do, an operation's own error (op_err) leaves the result to say.
    self->m_err = done ? done->err : 0;
  }

  gpgme_error_t Cancel(gpgme_error_t err) {
    gpgme_cancel(m_ctx);
    return err;
  }

  gpgme_ctx_t m_ctx;
  std::function<void()> m_endInput;
  std::function<void(gpgme_key_t)> m_takeKey;
  bool m_inputEnded = false;
  gpgme_io_cbs m_saved{};
  std::vector<std::unique_ptr<Watch>> m_watches;
  std::vector<std::uint64_t> m_pipes;
  WindowServingWait m_wait;  // the window paints and answers meanwhile
  bool m_done = false;
  bool m_cancelRequested = false;
  gpgme_error_t m_err = 0;
};

}  // namespace

bool CancelOperation(gpgme_ctx_t ctx) {
  OperationLoop* loop = ctx ? OperationLoop::Running(ctx) : nullptr;
  if (loop == nullptr) return false;
  loop->RequestCancel();
  return true;
}

gpgme_error_t OperationCancelled() {
  return gpgme_err_make(GPG_ERR_SOURCE_USER_1, GPG_ERR_CANCELED);
}

bool IsOperationCancelled(gpgme_error_t err) {
  return gpgme_err_code(err) == GPG_ERR_CANCELED && gpgme_err_source(err) == GPG_ERR_SOURCE_USER_1;
}

EndStatusWatch::EndStatusWatch(gpgme_ctx_t ctx, const char* keyword)
    : m_ctx(ctx), m_keyword(keyword) {
  if (!keyword) return;
  gpgme_get_status_cb(ctx, &m_savedCb, &m_savedHook);
  const char* full = gpgme_get_ctx_flag(ctx, "full-status");
  m_savedFull = full && *full && std::strcmp(full, "0") != 0;
  gpgme_set_ctx_flag(ctx, "full-status", "1");
  gpgme_set_status_cb(ctx, &Seen, this);
}

EndStatusWatch::~EndStatusWatch() {
  if (!m_keyword) return;
  gpgme_set_status_cb(m_ctx, m_savedCb, m_savedHook);
  gpgme_set_ctx_flag(m_ctx, "full-status", m_savedFull ? "1" : "0");
}

gpgme_error_t EndStatusWatch::Seen(void* hook, const char* keyword, const char* args) {
  auto* self = static_cast<EndStatusWatch*>(hook);
  if (keyword && std::strcmp(keyword, self->m_keyword) == 0) self->m_seen = true;
  // gpg goes on without a key ring it cannot open, and then reports an import of nothing.
  constexpr std::string_view kRing = "add_keyblock_resource ";
  if (keyword && std::strcmp(keyword, "ERROR") == 0 && args) {
    // "ERROR <where> <code>"
    const char* space = std::strchr(args, ' ');
    const unsigned long code = space ? std::strtoul(space + 1, nullptr, 10) : 0;
    const gpgme_error_t err =
        code != 0 ? static_cast<gpgme_error_t>(code) : gpg_error(GPG_ERR_GENERAL);
    if (std::string_view(args).starts_with(kRing)) {
      if (self->m_keyRingError == 0) self->m_keyRingError = err;
    } else if (self->m_engineError == 0) {
      self->m_engineError = err;
    }
  }
  return self->m_savedCb ? self->m_savedCb(self->m_savedHook, keyword, args) : 0;
}

namespace {

gpgme_error_t RunOnLoop(gpgme_ctx_t ctx, const std::function<gpgme_error_t()>& start,
                        const char* endStatus, gpgme_error_t* keyRingError,
                        const std::function<void()>& endInput,
                        const std::function<void(gpgme_key_t)>& takeKey) {
  if (keyRingError) *keyRingError = 0;
  // A window whose engine did not start has no context; the engine refuses it as it refuses
  // every other call on one, and nothing here may touch it.
  if (!ctx) return gpg_error(GPG_ERR_INV_VALUE);
  CompleteStoppedKeyRingUpdate(ctx);
  EndStatusWatch watch(ctx, endStatus);
  OperationLoop loop(ctx, endInput, takeKey);
  gpgme_error_t err = start();
  if (err == 0) {
    err = loop.Run();
    if (keyRingError) *keyRingError = watch.keyRingError();
    if (err == 0 && !watch.seen()) err = gpg_error(GPG_ERR_UNFINISHED);
    if (IsOperationCancelled(err) && watch.seen()) return err;  // gpg ended on its own
  }
  // GPGME's cancel only closes its ends of the pipes, and gpg goes on with its work (expanding
  // a compressed message to its end, say) long after the operation failed; nor can GPGME wait
  // for it, as gpg is no child of ours. A gpg that still holds the pipes is ended here.
  if (err != 0) EndProcessesHoldingPipes(loop.pipes());
  return err;
}

}  // namespace

gpgme_error_t RunOperation(gpgme_ctx_t ctx, const std::function<gpgme_error_t()>& start,
                           const char* endStatus, gpgme_error_t* keyRingError,
                           const std::function<void()>& endInput) {
  return RunOnLoop(ctx, start, endStatus, keyRingError, endInput, nullptr);
}

gpgme_error_t RunKeyListing(gpgme_ctx_t ctx, const std::function<gpgme_error_t()>& start,
                            const std::function<void(gpgme_key_t key)>& take) {
  return RunOnLoop(ctx, start, nullptr, nullptr, nullptr, take);
}
