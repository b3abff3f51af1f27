#include "tests/support/ListenSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vkqx_test {

int OpenListenSocket(int type, const std::string& address, uint16_t port, uint16_t* boundPort) {
  const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  socklen_t len = sizeof sa;
  if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1 ||
      ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
      (type == SOCK_STREAM && ::listen(fd, 64) != 0) ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
    ::close(fd);
    return -1;
  }
  *boundPort = ntohs(sa.sin_port);
  return fd;
}

}  // namespace vkqx_test
