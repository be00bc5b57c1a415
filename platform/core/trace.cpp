#include "platform/core/trace.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

bool TraceEnabled() {
  // Read each time, so that setting the variable takes effect at once (tests rely on it).
  const char* value = std::getenv("ZEMBRA_TRACE");
  return value && *value;
}

void TraceText(std::string_view text) {
  if (!TraceEnabled()) return;
  std::string line(text);
  if (line.empty() || line.back() != '\n') line += '\n';
  // One write per line keeps lines of concurrent processes apart; the loop only matters when a
  // signal or a full pipe splits it.
  const char* p = line.data();
  std::size_t left = line.size();
  while (left > 0) {
    ssize_t n = ::write(STDERR_FILENO, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}
