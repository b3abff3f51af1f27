// The loopback-only safety net. With VKQX_LOOPBACK_ONLY=1 in the environment (every test run, the
// demo and the benchmarks set it) the system's own DNS client and its HTTP transfers refuse every
// address outside 127.0.0.0/8, so a run that forgets to point a setting at a loopback server fails
// instead of sending a packet off the machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Whether the net is on (read from the environment at each call).
bool LoopbackOnly();

// 127.0.0.0/8; the address in host byte order.
bool IsLoopbackIpv4(uint32_t address);

// For a transport's socket-opening hook: whether the net lets a connection to this socket address
// (a sockaddr of `length` bytes) through. Always true with the net off; with it on, only IPv4
// 127.0.0.0/8 (also as an IPv4-mapped IPv6 address) and ::1 pass. `text` gets the address for the
// log line.
bool SocketAddressAllowed(const void* sockaddr, size_t length, std::string* text);

// Opens a socket for a transport that has taken over socket creation (family, type, protocol as
// the socket API has them); -1 on failure.
int OpenTransportSocket(int family, int type, int protocol);

}  // namespace platform
