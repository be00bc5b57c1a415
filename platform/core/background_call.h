// A blocking call (a flush to disk, say) run on a thread of its own, so that the thread that
// started it can wait for its end among other descriptors.
#pragma once

#include <functional>
#include <thread>

#include "platform/core/unique_fd.h"

class BackgroundCall {
 public:
  // Starts call at once; without a thread or a pipe to tell its end, runs it here instead.
  explicit BackgroundCall(const std::function<void()>& call);
  // Waits for the call's end.
  ~BackgroundCall();
  BackgroundCall(const BackgroundCall&) = delete;
  BackgroundCall& operator=(const BackgroundCall&) = delete;

  // Readable once the call has returned; -1 when it ran in the constructor.
  int fd() const { return m_done.get(); }

 private:
  UniqueFd m_done;    // read end: end of file once the call has returned
  UniqueFd m_signal;  // write end, closed by the thread when the call returns
  std::thread m_thread;
};
