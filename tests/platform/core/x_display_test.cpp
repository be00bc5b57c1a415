// Whether a local X display answers, decided from its socket as the X library finds it.
#include "platform/core/x_display.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "platform/core/unique_fd.h"

namespace {

// A listening socket in the abstract namespace where a server of display `number` listens;
// it leaves no file behind.
UniqueFd ListenAsDisplay(int number) {
  const std::string name = "/tmp/.X11-unix/X" + std::to_string(number);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + 1, name.data(), name.size());
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
      ::listen(fd.get(), 4) != 0) {
    return UniqueFd();
  }
  return fd;
}

}  // namespace

TEST(XDisplay, ALocalDisplayAnswersWhileItsServerListensAndNotAfter) {
  const int number = 5000 + (::getpid() % 1000);
  const std::string display = ":" + std::to_string(number);
  {
    const UniqueFd server = ListenAsDisplay(number);
    ASSERT_TRUE(server.valid());
    EXPECT_TRUE(IsXDisplayReachable(display));
    EXPECT_TRUE(IsXDisplayReachable(display + ".0"));
    EXPECT_TRUE(IsXDisplayReachable("unix" + display));
    EXPECT_TRUE(IsXDisplayReachable("unix/" + display + ".1"));
  }
  EXPECT_FALSE(IsXDisplayReachable(display));
}

TEST(XDisplay, MalformedNamesAreNotDisplaysAndOtherHostsAreLeftToTheToolkit) {
  EXPECT_FALSE(IsXDisplayReachable(""));
  EXPECT_FALSE(IsXDisplayReachable("0"));
  EXPECT_FALSE(IsXDisplayReachable(":"));
  EXPECT_FALSE(IsXDisplayReachable(":x"));
  EXPECT_TRUE(IsXDisplayReachable("example.org:0"));
}
