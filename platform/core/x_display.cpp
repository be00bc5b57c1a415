#include "platform/core/x_display.h"

#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "platform/core/unique_fd.h"

namespace {

// Connects to a local stream socket; `abstractName` puts it in the abstract namespace, where
// X servers on Linux listen besides the file under /tmp/.X11-unix.
bool Answers(const std::string& path, bool abstractName) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::size_t offset = abstractName ? 1 : 0;
  if (path.size() + offset >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path + offset, path.data(), path.size());
  const socklen_t length =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() + 1);
  const UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return false;
  return ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address),
                   abstractName ? length - 1 : length) == 0;
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
  const std::string path = "/tmp/.X11-unix/X" + std::string(number);
  return Answers(path, true) || Answers(path, false);
}
