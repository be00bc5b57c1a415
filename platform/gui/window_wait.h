// Waiting on an operation's descriptors while the window's thread goes on serving its windows:
// they paint, answer the window manager and take the user's input during the wait.
#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "platform/core/descriptor_wait.h"

class QEventLoop;

class WindowServingWait {
 public:
  // As WaitForDescriptors without a time limit. With a QApplication on this thread its event
  // loop runs until a descriptor is ready; elsewhere (the shell extension, tools, programs
  // without a display) this is the blocking wait.
  int Wait(std::vector<DescriptorWait>& waits);
  // Ends the wait that runs (from a handler of the window's events) with nothing happened; the
  // caller finds out why on its own.
  void Interrupt();

 private:
  QEventLoop* m_loop = nullptr;  // the wait's event loop while it runs
  bool m_interrupted = false;
  // When the window's events were last served: a transfer whose descriptors are always ready
  // serves them every few milliseconds, not on every round.
  std::chrono::steady_clock::time_point m_served = std::chrono::steady_clock::now();
};

// Runs call, which blocks without a descriptor to wait on (a flush to disk), on a thread of its own
// while this thread serves its windows as WindowServingWait does; returns once call has returned.
// Without windows to serve, call runs on this thread.
void RunServingWindows(const std::function<void()>& call);
