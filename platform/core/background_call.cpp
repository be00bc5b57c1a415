#include "platform/core/background_call.h"

#include <fcntl.h>
#include <unistd.h>

#include <system_error>

BackgroundCall::BackgroundCall(const std::function<void()>& call) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    call();
    return;
  }
  m_done.reset(fds[0]);
  m_signal.reset(fds[1]);
  try {
    // The thread closes the write end: the read end then reports end of file.
    m_thread = std::thread([this, call] {
      call();
      m_signal.reset();
    });
  } catch (const std::system_error&) {
    m_done.reset();
    m_signal.reset();
    call();
  }
}

BackgroundCall::~BackgroundCall() {
  if (m_thread.joinable()) m_thread.join();
}
