#include "platform/core/descriptor_wait.h"

#include <poll.h>

#include <cerrno>

int WaitForDescriptors(std::vector<DescriptorWait>& waits, int timeoutMs) {
  std::vector<pollfd> fds;
  fds.reserve(waits.size());
  for (const DescriptorWait& w : waits)
    fds.push_back({w.fd, static_cast<short>(w.forWriting ? POLLOUT : POLLIN), 0});
  while (::poll(fds.data(), fds.size(), timeoutMs) < 0)
    if (errno != EINTR) return errno;
  for (std::size_t i = 0; i < waits.size(); ++i) {
    waits[i].happened = fds[i].revents != 0;
    waits[i].invalid = (fds[i].revents & POLLNVAL) != 0;
  }
  return 0;
}
