#include "tests/support/FreePort.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace vkqx_test {
namespace {

sockaddr_in Loopback(const std::string& address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
  return sa;
}

// Binds a socket of type to address:port (0: any); returns the bound port, or 0.
uint16_t BindOnce(int type, const std::string& address, uint16_t port) {
  const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in sa = Loopback(address, port);
  uint16_t bound = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) {
    socklen_t len = sizeof sa;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) == 0) bound = ntohs(sa.sin_port);
  }
  ::close(fd);
  return bound;
}

bool FreeEverywhere(PortKind kind, const std::vector<std::string>& addresses, uint16_t port) {
  for (const std::string& a : addresses) {
    if (kind != PortKind::kUdp && BindOnce(SOCK_STREAM, a, port) != port) return false;
    if (kind != PortKind::kTcp && BindOnce(SOCK_DGRAM, a, port) != port) return false;
  }
  return true;
}

}  // namespace

uint16_t FreePort(PortKind kind, const std::vector<std::string>& addresses) {
  if (addresses.empty()) return 0;
  const int firstType = kind == PortKind::kUdp ? SOCK_DGRAM : SOCK_STREAM;
  for (int attempt = 0; attempt < 50; ++attempt) {
    const uint16_t port = BindOnce(firstType, addresses.front(), 0);
    if (port != 0 && FreeEverywhere(kind, addresses, port)) return port;
  }
  return 0;
}

bool TcpAccepts(const std::string& address, uint16_t port, int timeoutMs) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  sockaddr_in sa = Loopback(address, port);
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
  if (!ok && errno == EINPROGRESS) {
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, timeoutMs) == 1) {
      int err = 0;
      socklen_t len = sizeof err;
      ok = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
    }
  }
  ::close(fd);
  return ok;
}

}  // namespace vkqx_test
