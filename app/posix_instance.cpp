#include "app/posix_instance.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace flashwell::app {

SingleInstanceGuard::SingleInstanceGuard(std::string_view name) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  // Abstract namespace: a leading zero byte, then the name, not zero-terminated. The name is
  // cut to what the address holds.
  const std::size_t room = sizeof(address.sun_path) - 1;
  const std::size_t length = name.size() < room ? name.size() : room;
  std::memcpy(address.sun_path + 1, name.data(), length);
  const auto addressLength = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);

  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), addressLength) != 0) {
    heldElsewhere_ = errno == EADDRINUSE;
    ::close(fd);
    return;
  }
  socket_ = fd;
}

SingleInstanceGuard::~SingleInstanceGuard() {
  if (socket_ >= 0) ::close(socket_);
}

}  // namespace flashwell::app
