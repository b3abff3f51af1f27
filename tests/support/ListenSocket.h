// A listening (TCP) or bound (UDP) IPv4 socket on a test's loopback address, for our own servers.
#pragma once

#include <cstdint>
#include <string>

namespace vkqx_test {

// `type` SOCK_STREAM or SOCK_DGRAM; port 0 lets the system choose. Returns the descriptor and the
// bound port in *boundPort, or -1.
int OpenListenSocket(int type, const std::string& address, uint16_t port, uint16_t* boundPort);

}  // namespace vkqx_test
