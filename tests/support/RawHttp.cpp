#include "tests/support/RawHttp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace vkqx_test {

std::string RawHttpResult::Body() const {
  const size_t end = received.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : received.substr(end + 4);
}

std::string HttpGetRequest(const std::string& path, const std::string& range) {
  std::string r = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  if (!range.empty()) r += "Range: " + range + "\r\n";
  return r + "Connection: close\r\n\r\n";
}

RawHttpResult RawHttpExchange(const std::string& address, uint16_t port, const std::string& request,
                              int timeoutMs) {
  RawHttpResult result;
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return result;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 &&
      ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
    result.connected = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) break;
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) != 1) break;
      char buf[8192];
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) {
        result.closedByServer = true;
        break;
      }
      result.received.append(buf, static_cast<size_t>(n));
    }
  }
  ::close(fd);
  return result;
}

}  // namespace vkqx_test
