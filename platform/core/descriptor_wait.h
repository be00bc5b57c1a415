// Waiting on several descriptors at once (poll), for a loop of our own.
#pragma once

#include <vector>

struct DescriptorWait {
  int fd;
  bool forWriting;
  // Set by WaitForDescriptors: something happened on the descriptor (readiness, an error or a
  // hang-up, each for the handler to find out), or it is no open descriptor at all.
  bool happened = false;
  bool invalid = false;
};

// Waits until something happens on one of the descriptors, at most timeoutMs milliseconds (-1:
// for ever; 0: only looks); a signal does not end the wait. Returns 0, also when the time ran
// out with nothing happened, or the error number of the wait itself.
int WaitForDescriptors(std::vector<DescriptorWait>& waits, int timeoutMs = -1);
