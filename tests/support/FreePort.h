// Free loopback ports for the servers a test starts. A port is free when the kernel hands it out
// for a bind to port 0; it is released before it is returned, so a server that then fails to bind
// it (another test took it meanwhile) should be started again on a fresh port.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vkqx_test {

enum class PortKind { kTcp, kUdp, kTcpAndUdp };

// A port free on every one of addresses (default 127.0.0.1), or 0 when none was found.
uint16_t FreePort(PortKind kind = PortKind::kTcp,
                  const std::vector<std::string>& addresses = {"127.0.0.1"});
inline uint16_t FreeTcpPort() { return FreePort(PortKind::kTcp); }
inline uint16_t FreeUdpPort() { return FreePort(PortKind::kUdp); }

// True when a TCP connection to address:port is accepted within timeoutMs.
bool TcpAccepts(const std::string& address, uint16_t port, int timeoutMs = 200);

}  // namespace vkqx_test
