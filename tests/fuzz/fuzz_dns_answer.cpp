// Any datagram may arrive at the DNS client's socket: reading it as an answer must never read
// outside it, loop for ever or grow without bound.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "commonlib/nettool/DnsPacket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The identifier is taken from the datagram itself so that most inputs get past the header
  // check and into the records.
  uint16_t id = 0;
  if (size >= 2) std::memcpy(&id, data, 2);
  std::vector<std::string> addresses;
  if (ParseDnsAnswer(data, size, id, &addresses) == DnsAnswerStatus::kAccepted) {
    for (const std::string& a : addresses)
      if (a.size() > 15) __builtin_trap();
  }
  for (size_t start = 0; start < size && start < 64; ++start) {
    size_t pos = start;
    std::string name;
    if (DecodeDnsName(data, size, &pos, &name) && (pos > size || name.size() > kDnsMaxNameLength))
      __builtin_trap();
  }
  uint8_t packet[kDnsQueryPacketSize];
  const size_t n = BuildDnsQuery(std::string(reinterpret_cast<const char*>(data), size), id, packet,
                                 sizeof packet);
  if (n > sizeof packet) __builtin_trap();
  return 0;
}
