#include "zembra/engine/operation_group.h"

#include <algorithm>

#include "platform/core/descriptor_wait.h"
#include "platform/core/pipe_holders.h"
#include "zembra/engine/key_ring_repair.h"
#include "zembra/engine/operation_loop.h"

// One descriptor GPGME asked us to watch; GPGME's tag for it is its address.
struct OperationGroup::Watch {
  int fd;
  bool forWriting;
  gpgme_io_cb_t handler;
  void* handlerData;
  bool live = true;
};

struct OperationGroup::Op {
  gpgme_ctx_t ctx = nullptr;
  gpgme_io_cbs saved{};
  std::unique_ptr<EndStatusWatch> status;
  std::vector<std::unique_ptr<Watch>> watches;
  std::vector<std::uint64_t> pipes;  // gpg holds their other ends
  bool done = false;
  gpgme_error_t err = 0;
};

OperationGroup::OperationGroup() = default;

OperationGroup::~OperationGroup() {
  for (auto& op : m_ops) Finish(*op, OperationCancelled());
}

gpgme_error_t OperationGroup::Start(gpgme_ctx_t ctx, const std::function<gpgme_error_t()>& start,
                                    const char* endStatus) {
  if (!ctx) return gpg_error(GPG_ERR_INV_VALUE);
  CompleteStoppedKeyRingUpdate(ctx);
  auto op = std::make_unique<Op>();
  op->ctx = ctx;
  op->status = std::make_unique<EndStatusWatch>(ctx, endStatus);
  gpgme_get_io_cbs(ctx, &op->saved);
  gpgme_io_cbs ours{&Add, op.get(), &Remove, &Event, op.get()};
  gpgme_set_io_cbs(ctx, &ours);
  const gpgme_error_t err = start();
  if (err != 0) {
    gpgme_set_io_cbs(ctx, &op->saved);
    EndProcessesHoldingPipes(op->pipes);
    return err;
  }
  m_ops.push_back(std::move(op));
  return 0;
}

void OperationGroup::Wake() {
  m_woken = true;
  m_wait.Interrupt();
}

void OperationGroup::Cancel() {
  m_cancelled = true;
  m_wait.Interrupt();
}

std::vector<OperationGroup::Ended> OperationGroup::Wait() {
  m_woken = false;
  std::vector<Ended> ended;
  std::vector<DescriptorWait> fds;
  std::vector<std::pair<Op*, Watch*>> owners;
  for (;;) {
    for (auto& op : m_ops) {
      if (m_cancelled && !op->done) {
        op->done = true;
        op->err = OperationCancelled();
      }
      std::erase_if(op->watches, [](const std::unique_ptr<Watch>& w) { return !w->live; });
      // GPGME ends every operation it started with a done event; one with nothing left to
      // watch without it would otherwise wait for ever.
      if (!op->done && op->watches.empty()) {
        op->done = true;
        op->err = gpg_error(GPG_ERR_INTERNAL);
      }
    }
    std::erase_if(m_ops, [&](const std::unique_ptr<Op>& op) {
      if (op->done) ended.push_back(Finish(*op, op->err));
      return op->done;
    });
    if (!ended.empty() || m_woken || m_ops.empty()) return ended;

    fds.clear();
    owners.clear();
    for (auto& op : m_ops) {
      for (auto& w : op->watches) {
        fds.push_back({w->fd, w->forWriting});
        owners.emplace_back(op.get(), w.get());
      }
    }
    if (const int error = m_wait.Wait(fds)) {
      for (auto& op : m_ops) {
        op->done = true;
        op->err = gpg_error_from_errno(error);
      }
      continue;
    }
    // Handlers may add watches or remove any; those of this round stay where they are, and a
    // removed one, or one of an operation that has ended meanwhile, is not called.
    for (std::size_t i = 0; i < fds.size(); ++i) {
      auto [op, watch] = owners[i];
      if (!fds[i].happened || !watch->live || op->done) continue;
      // A descriptor closed behind GPGME's back would be reported on every round.
      if (fds[i].invalid) {
        op->done = true;
        op->err = gpg_error(GPG_ERR_EBADF);
        continue;
      }
      watch->handler(watch->handlerData, fds[i].fd);
    }
  }
}

OperationGroup::Ended OperationGroup::Finish(Op& op, gpgme_error_t err) {
  const bool seen = op.status->seen();
  if (err == 0 && !seen) err = gpg_error(GPG_ERR_UNFINISHED);
  // An operation that did not end by its done event is stopped; GPGME's cancel removes its
  // watches while they are still ours.
  if (std::any_of(op.watches.begin(), op.watches.end(), [](const auto& w) { return w->live; }))
    gpgme_cancel(op.ctx);
  gpgme_set_io_cbs(op.ctx, &op.saved);
  // As in RunOperation: a gpg that still holds the pipes of a failed operation is ended.
  if (err != 0 && !(IsOperationCancelled(err) && seen)) EndProcessesHoldingPipes(op.pipes);
  op.status.reset();
  return {op.ctx, err};
}

gpgme_error_t OperationGroup::Add(void* op, int fd, int dir, gpgme_io_cb_t handler,
                                  void* handlerData, void** tag) {
  auto* self = static_cast<Op*>(op);
  if (const std::uint64_t pipe = PipeIdOf(fd)) self->pipes.push_back(pipe);
  self->watches.push_back(std::make_unique<Watch>(Watch{fd, dir == 0, handler, handlerData}));
  *tag = self->watches.back().get();
  return 0;
}

void OperationGroup::Remove(void* tag) { static_cast<Watch*>(tag)->live = false; }

void OperationGroup::Event(void* op, gpgme_event_io_t type, void* typeData) {
  if (type != GPGME_EVENT_DONE) return;
  auto* self = static_cast<Op*>(op);
  const auto* done = static_cast<gpgme_io_event_done_data_t>(typeData);
  self->done = true;
  // As the synchronous calls do, an operation's own error (op_err) leaves the result to say.
  self->err = done ? done->err : 0;
}
