#include "platform/core/trace.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

// A trace line holds at most this many bytes (a buffer of 10,240 with its terminator).
constexpr std::size_t kTraceLimit = 10239;

}  // namespace

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

void TraceV(std::string_view format, std::initializer_list<FormatArg> args) {
  if (!TraceEnabled()) return;
  std::string text = FormatTextV(format, args);
  if (text.size() > kTraceLimit) {
    std::size_t cut = kTraceLimit;
    // Back up to the start of a character, so the line stays valid UTF-8.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
  }
  TraceText(text);
}
