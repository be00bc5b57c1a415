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

// Blocks until something happens on one of the descriptors; a signal does not end the wait.
// Returns 0, or the error number of the wait itself.
int WaitForDescriptors(std::vector<DescriptorWait>& waits);
