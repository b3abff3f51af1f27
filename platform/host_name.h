// The machine's host name and the system resolver's IPv4 answer for a name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The host name, or an empty string when the system gives none.
std::string GetHostName();

// The IPv4 addresses (host byte order) the system's resolver gives for name, in its order; empty
// when the name does not resolve.
std::vector<uint32_t> ResolveHostIpv4(const std::string& name);

}  // namespace platform
