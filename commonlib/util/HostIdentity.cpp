#include "commonlib/util/HostIdentity.h"

#include <algorithm>

#include "commonlib/thread/Lock.h"
#include "platform/format.h"
#include "platform/host_name.h"
#include "platform/udp_socket.h"

namespace {

bool IsUsableHardwareAddress(const std::vector<uint8_t>& a) {
  // An all-zero address is a placeholder some virtual adapters carry, not an identity.
  return a.size() == 6 && std::any_of(a.begin(), a.end(), [](uint8_t b) { return b != 0; });
}

}  // namespace

std::wstring MacTextFromAdapters(const std::vector<platform::NetAdapter>& adapters) {
  for (const platform::NetAdapter& a : adapters) {
    if (!a.up || !IsUsableHardwareAddress(a.hardwareAddress)) continue;
    const std::vector<uint8_t>& h = a.hardwareAddress;
    return platform::StrFormat(L"%02x%02x%02x%02x%02x%02x", h[0], h[1], h[2], h[3], h[4], h[5]);
  }
  return {};
}

std::wstring GetMacAddress() {
  static CLock lock;
  static std::wstring cached;
  CAutoLock guard(&lock);
  if (!cached.empty()) return cached;
  std::vector<platform::NetAdapter> adapters;
  if (platform::ListNetAdapters(&adapters) != 0) return {};
  cached = MacTextFromAdapters(adapters);
  return cached;
}

std::string GetLocalIp() {
  const std::vector<uint32_t> addresses = platform::ResolveHostIpv4(platform::GetHostName());
  return addresses.empty() ? std::string() : platform::FormatIpv4(addresses.front());
}
