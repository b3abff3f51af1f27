// A bare HTTP exchange over a TCP socket, for checking what a test server really sends: the
// request goes out as given, and everything received is kept until the server closes or the time
// runs out.
#pragma once

#include <cstdint>
#include <string>

namespace vkqx_test {

struct RawHttpResult {
  bool connected = false;
  bool closedByServer = false;  // false: the time ran out with the connection still open
  std::string received;         // status line, headers and body as they came
  std::string Body() const;     // what follows the blank line after the headers
};

RawHttpResult RawHttpExchange(const std::string& address, uint16_t port, const std::string& request,
                              int timeoutMs = 2000);

// "GET <path> HTTP/1.1" with a Host header, an optional Range header and "Connection: close".
std::string HttpGetRequest(const std::string& path, const std::string& range = "");

}  // namespace vkqx_test
