#include "platform/loopback_only.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>
#include <cstring>

namespace platform {

bool LoopbackOnly() {
  static const bool on = [] {
    const char* value = std::getenv("VKQX_LOOPBACK_ONLY");
    return value != nullptr && std::strcmp(value, "1") == 0;
  }();
  return on;
}

bool IsLoopbackIpv4(uint32_t address) { return (address >> 24) == 127; }

bool IsLoopbackSocketAddress(const void* sockaddr, size_t length, std::string* text) {
  char buffer[INET6_ADDRSTRLEN] = "?";
  bool loopback = false;
  const auto* base = static_cast<const struct sockaddr*>(sockaddr);
  if (base != nullptr && length >= sizeof(sockaddr_in) && base->sa_family == AF_INET) {
    const auto* v4 = static_cast<const sockaddr_in*>(sockaddr);
    ::inet_ntop(AF_INET, &v4->sin_addr, buffer, sizeof buffer);
    loopback = IsLoopbackIpv4(ntohl(v4->sin_addr.s_addr));
  } else if (base != nullptr && length >= sizeof(sockaddr_in6) && base->sa_family == AF_INET6) {
    const auto* v6 = static_cast<const sockaddr_in6*>(sockaddr);
    ::inet_ntop(AF_INET6, &v6->sin6_addr, buffer, sizeof buffer);
    if (IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr)) {
      loopback = true;
    } else if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) {
      uint32_t v4;
      std::memcpy(&v4, &v6->sin6_addr.s6_addr[12], 4);
      loopback = IsLoopbackIpv4(ntohl(v4));
    }
  }
  if (text != nullptr) *text = buffer;
  return loopback;
}

int OpenTransportSocket(int family, int type, int protocol) {
  return ::socket(family, type | SOCK_CLOEXEC, protocol);
}

}  // namespace platform
