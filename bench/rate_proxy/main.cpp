// rate_proxy: a TCP proxy for benchmarks on loopback. Each listen address has its own byte rate,
// shared by all its connections, and every chunk can be held back by a fixed delay in each
// direction to add a round trip. It stops on SIGTERM or after a maximum run time.
#include <cstdio>
#include <string>

#include "bench/rate_proxy/Proxy.h"
#include "bench/rate_proxy/ProxyOptions.h"

int main(int argc, char** argv) {
  bench::ProxyOptions options;
  std::string error;
  if (!bench::ParseProxyOptions(argc, argv, &options, &error)) {
    if (!error.empty()) std::fprintf(stderr, "rate_proxy: %s\n", error.c_str());
    std::fputs(bench::ProxyUsage(), stderr);
    return 2;
  }
  bench::Proxy proxy(options);
  if (!proxy.Open(&error)) {
    std::fprintf(stderr, "rate_proxy: %s\n", error.c_str());
    return 1;
  }
  return proxy.Run();
}
