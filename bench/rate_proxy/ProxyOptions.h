// Command line of rate_proxy.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct ListenSpec {
  sockaddr_in listen{};
  sockaddr_in upstream{};
  std::string text;  // as given, for messages
};

struct ProxyOptions {
  std::vector<ListenSpec> listens;
  uint64_t rateBytesPerSecond = 0;  // per listen address, shared by its connections; 0 = none
  uint64_t burstBytes = 0;          // 0: 20 ms of the rate, at least 16 KiB
  uint32_t delayMs = 0;             // added to every chunk in each direction
  uint32_t maxSeconds = 900;
};

// Parses argv; on failure returns false with a message in `error`.
bool ParseProxyOptions(int argc, char** argv, ProxyOptions* options, std::string* error);

const char* ProxyUsage();

// Parses "A.B.C.D:PORT" with a loopback address (127.0.0.0/8); nothing else is accepted.
bool ParseLoopbackEndpoint(const std::string& text, sockaddr_in* out);

std::string EndpointText(const sockaddr_in& address);

}  // namespace bench
