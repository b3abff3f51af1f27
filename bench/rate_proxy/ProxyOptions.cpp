#include "bench/rate_proxy/ProxyOptions.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

#include "bench/common/CommandLine.h"

namespace bench {
namespace {

// Accepts a plain number of bytes or one with a K, M or G suffix (binary multiples).
bool ParseBytes(std::string text, uint64_t* out) {
  uint64_t scale = 1;
  if (!text.empty()) {
    switch (text.back()) {
      case 'K': case 'k': scale = 1ull << 10; break;
      case 'M': case 'm': scale = 1ull << 20; break;
      case 'G': case 'g': scale = 1ull << 30; break;
      default: break;
    }
    if (scale != 1) text.pop_back();
  }
  uint64_t value = 0;
  if (!ParseUnsigned(text, &value)) return false;
  *out = value * scale;
  return true;
}

}  // namespace

const char* ProxyUsage() {
  return "usage: rate_proxy --listen ADDR:PORT[=UPADDR:UPPORT]... [--upstream UPADDR:UPPORT]\n"
         "                  [--rate BYTES_PER_S] [--burst BYTES] [--delay-ms MS] [--max-seconds S]\n"
         "  Every listen address forwards to its own upstream or to --upstream. --rate limits the\n"
         "  bytes per second of each listen address in each direction, shared by its connections\n"
         "  (K, M, G suffixes are binary). --delay-ms holds every chunk that long before forwarding\n"
         "  it, in each direction, so a round trip grows by twice the value. Loopback only.\n"
         "  Prints \"ready\" on standard output once listening; stops on SIGTERM or SIGINT, or by\n"
         "  itself after --max-seconds (default 900).\n";
}

bool ParseLoopbackEndpoint(const std::string& text, sockaddr_in* out) {
  size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  std::string host = text.substr(0, colon);
  uint64_t port = 0;
  if (!ParseUnsigned(text.substr(colon + 1), &port) || port == 0 || port > 65535) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) return false;
  if ((ntohl(address.sin_addr.s_addr) >> 24) != 127) return false;
  *out = address;
  return true;
}

std::string EndpointText(const sockaddr_in& address) {
  char host[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address.sin_addr, host, sizeof host);
  return std::string(host) + ":" + std::to_string(ntohs(address.sin_port));
}

bool ParseProxyOptions(int argc, char** argv, ProxyOptions* options, std::string* error) {
  std::vector<std::string> listens;
  std::string upstream;
  const bool walked = WalkOptions(argc, argv, error, [&](const std::string& name, const std::string& value) {
    uint64_t number = 0;
    if (name == "--listen") {
      listens.push_back(value);
    } else if (name == "--upstream") {
      upstream = value;
    } else if (name == "--rate") {
      if (!ParseBytes(value, &options->rateBytesPerSecond)) { *error = "bad --rate " + value; return false; }
    } else if (name == "--burst") {
      if (!ParseBytes(value, &options->burstBytes)) { *error = "bad --burst " + value; return false; }
    } else if (name == "--delay-ms") {
      if (!ParseUnsigned(value, &number) || number > 60000) { *error = "bad --delay-ms " + value; return false; }
      options->delayMs = static_cast<uint32_t>(number);
    } else if (name == "--max-seconds") {
      return ParseMaxSeconds(value, &options->maxSeconds, error);
    } else {
      *error = "unknown option " + name;
      return false;
    }
    return true;
  });
  if (!walked) return false;
  if (listens.empty()) {
    *error = "no --listen given";
    return false;
  }
  for (const std::string& text : listens) {
    ListenSpec spec;
    spec.text = text;
    size_t equals = text.find('=');
    std::string listenText = text.substr(0, equals);
    std::string upstreamText = equals == std::string::npos ? upstream : text.substr(equals + 1);
    if (!ParseLoopbackEndpoint(listenText, &spec.listen)) {
      *error = "bad listen address " + listenText + " (loopback A.B.C.D:PORT)";
      return false;
    }
    if (!ParseLoopbackEndpoint(upstreamText, &spec.upstream)) {
      *error = "bad or missing upstream for " + text + " (loopback A.B.C.D:PORT)";
      return false;
    }
    options->listens.push_back(spec);
  }
  if (options->burstBytes == 0) options->burstBytes = std::max<uint64_t>(16 << 10, options->rateBytesPerSecond / 50);
  return true;
}

}  // namespace bench
