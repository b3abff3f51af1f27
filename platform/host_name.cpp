#include "platform/host_name.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace platform {

std::string GetHostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::vector<uint32_t> ResolveHostIpv4(const std::string& name) {
  std::vector<uint32_t> out;
  if (name.empty()) return out;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;  // one entry per address, not one per socket type
  addrinfo* res = nullptr;
  if (::getaddrinfo(name.c_str(), nullptr, &hints, &res) != 0) return out;
  for (const addrinfo* ai = res; ai; ai = ai->ai_next) {
    if (ai->ai_family != AF_INET || !ai->ai_addr) continue;
    const uint32_t a = ntohl(reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr);
    if (std::find(out.begin(), out.end(), a) == out.end()) out.push_back(a);
  }
  ::freeaddrinfo(res);
  return out;
}

}  // namespace platform
