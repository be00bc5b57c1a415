#include "platform/core/x_display.h"

#include <fstream>
#include <sstream>
#include <string>

#include "platform/core/files.h"

namespace {

// Whether a stream socket listens at the path, abstract ("@path", where X servers on Linux listen
// besides the file) or not. Read from the kernel's table rather than by connecting: a probe
// that connects and leaves is a client, and an X server whose last client leaves starts afresh
// (or ends, with -terminate), under the very program about to connect. The table shows only this
// network namespace's sockets: a socket file without an entry (a server in another namespace,
// its socket shared into a container) is left to the toolkit, as is a table that cannot be read.
bool Listening(const std::string& path) {
  std::ifstream table("/proc/net/unix");
  if (!table) return true;
  constexpr unsigned long kAcceptingConnections = 0x10000;  // __SO_ACCEPTCON
  bool seen = false;
  std::string line;
  std::getline(table, line);  // the column titles
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, references, protocol, flags, type, state, inode, name;
    if (!(fields >> slot >> references >> protocol >> flags >> type >> state >> inode >> name))
      continue;
    if (name != path && name != "@" + path) continue;
    if ((std::stoul(flags, nullptr, 16) & kAcceptingConnections) != 0) return true;
    seen = true;
  }
  return !seen && PathExists(path);
}

}  // namespace

bool IsXDisplayReachable(std::string_view display) {
  const std::size_t colon = display.rfind(':');
  if (colon == std::string_view::npos) return false;
  std::string_view host = display.substr(0, colon);
  if (const std::size_t slash = host.rfind('/'); slash != std::string_view::npos) {
    host = host.substr(slash + 1);  // "unix/:0", "tcp/host:0"
  }
  std::string_view number = display.substr(colon + 1);
  if (const std::size_t dot = number.find('.'); dot != std::string_view::npos) {
    number = number.substr(0, dot);
  }
  if (number.empty() || number.find_first_not_of("0123456789") != std::string_view::npos) {
    return false;
  }
  if (!host.empty() && host != "unix") return true;
  return Listening("/tmp/.X11-unix/X" + std::string(number));
}
