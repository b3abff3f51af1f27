// The system's network adapters, in the system's order (by interface index), as the adapter list
// of Windows gives them: name, operational state, hardware address and IPv4 addresses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct NetAdapter {
  std::string name;
  uint32_t index = 0;
  // Administratively up and with a working link (the "up" operational state).
  bool up = false;
  bool loopback = false;
  // Empty where the adapter has none; a loopback adapter has none, as on Windows.
  std::vector<uint8_t> hardwareAddress;
  std::vector<uint32_t> ipv4Addresses;  // host byte order
};

// Fills adapters; returns 0 or a Windows error number.
uint32_t ListNetAdapters(std::vector<NetAdapter>* adapters);

}  // namespace platform
