// The loopback-only safety net. With VKQX_LOOPBACK_ONLY=1 in the environment (every test run, the
// demo and the benchmarks set it) the system's own DNS client and its HTTP transfers refuse every
// address outside 127.0.0.0/8, so a run that forgets to point a setting at a loopback server fails
// instead of sending a packet off the machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Whether the net is on. The environment is read once, on first use, so worker threads never
// read it while a test changes other variables.
bool LoopbackOnly();

// 127.0.0.0/8; the address in host byte order.
bool IsLoopbackIpv4(uint32_t address);

// For a transport's socket-opening hook: whether a socket address (a sockaddr of `length` bytes)
// is on loopback: IPv4 127.0.0.0/8 (also as an IPv4-mapped IPv6 address) or ::1. `text` gets the
// address for the log line.
bool IsLoopbackSocketAddress(const void* sockaddr, size_t length, std::string* text);

// Opens a socket for a transport that has taken over socket creation (family, type, protocol as
// the socket API has them); -1 on failure.
int OpenTransportSocket(int family, int type, int protocol);

}  // namespace platform
