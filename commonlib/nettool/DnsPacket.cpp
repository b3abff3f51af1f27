#include "commonlib/nettool/DnsPacket.h"

#include <cstring>

#include "platform/format.h"

namespace {

constexpr size_t kHeaderSize = 12;
constexpr size_t kMaxEncodedName = kDnsQueryPacketSize - kHeaderSize - 4;
constexpr size_t kMaxLabel = 63;
// Response, standard query, not truncated, recursion desired, no error; the authoritative and
// recursion-available bits do not matter.
constexpr uint16_t kAnswerFlags = 0x8100;
constexpr uint16_t kIgnoredFlags = 0x0400 | 0x0080;

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

void Write16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

// The identifier goes out in the byte order of the machine and comes back unchanged, so it is
// compared the same way.
uint16_t ReadId(const uint8_t* p) {
  uint16_t id;
  std::memcpy(&id, p, sizeof id);
  return id;
}

bool SkipQuestions(const uint8_t* m, size_t len, size_t count, size_t* pos) {
  std::string name;
  for (size_t i = 0; i < count; ++i) {
    if (!DecodeDnsName(m, len, pos, &name)) return false;
    if (len - *pos < 4) return false;
    *pos += 4;
  }
  return true;
}

// Reads one answer record at *pos; an address record adds its address to out.
bool ReadAnswerRecord(const uint8_t* m, size_t len, size_t* pos, std::vector<std::string>* out) {
  std::string name;
  if (!DecodeDnsName(m, len, pos, &name)) return false;
  if (len - *pos < 10) return false;
  const uint16_t type = Read16(m + *pos);
  const uint16_t dataLength = Read16(m + *pos + 8);
  *pos += 10;
  if (len - *pos < dataLength) return false;
  const size_t dataEnd = *pos + dataLength;
  if (type == kDnsTypeA) {
    // An address record of another size is malformed; its first four bytes are not an address.
    if (dataLength != 4) return false;
    const uint8_t* a = m + *pos;
    out->push_back(platform::StrFormat("%d.%d.%d.%d", a[0], a[1], a[2], a[3]));
  } else if (type == kDnsTypeCname) {
    size_t p = *pos;
    if (!DecodeDnsName(m, len, &p, &name) || p > dataEnd) return false;
  }
  *pos = dataEnd;
  return true;
}

}  // namespace

size_t BuildDnsQuery(std::string_view host, uint16_t id, uint8_t* packet, size_t capacity) {
  if (!packet || capacity < kHeaderSize + 1 + 4) return 0;
  const size_t nameRoom = std::min(kMaxEncodedName, capacity - kHeaderSize - 4);
  uint8_t* name = packet + kHeaderSize;
  size_t used = 0;
  while (!host.empty()) {
    const size_t dot = host.find('.');
    const std::string_view label = host.substr(0, dot);
    host.remove_prefix(dot == std::string_view::npos ? host.size() : dot + 1);
    if (label.empty()) continue;
    if (label.size() > kMaxLabel) return 0;
    if (used + 1 + label.size() + 1 > nameRoom) return 0;
    name[used++] = static_cast<uint8_t>(label.size());
    std::memcpy(name + used, label.data(), label.size());
    used += label.size();
  }
  if (used == 0) return 0;
  name[used++] = 0;

  std::memcpy(packet, &id, sizeof id);
  Write16(packet + 2, 0x0100);
  Write16(packet + 4, 1);
  Write16(packet + 6, 0);
  Write16(packet + 8, 0);
  Write16(packet + 10, 0);
  Write16(name + used, kDnsTypeA);
  Write16(name + used + 2, 1);
  return kHeaderSize + used + 4;
}

bool DecodeDnsName(const uint8_t* m, size_t len, size_t* pos, std::string* name) {
  name->clear();
  size_t p = *pos;
  size_t end = 0;  // where the name ends in place, once known
  // A chain without a loop visits each position at most once, so more jumps than bytes is a loop.
  size_t jumps = 0;
  for (;;) {
    if (p >= len) return false;
    const uint8_t b = m[p];
    if (b == 0) {
      if (end == 0) end = p + 1;
      break;
    }
    if (b > kMaxLabel) {
      if (len - p < 2) return false;
      if (end == 0) end = p + 2;
      if (++jumps > len) return false;
      p = static_cast<size_t>(Read16(m + p) & 0x3FFF);
      continue;
    }
    if (len - p - 1 < b) return false;
    if (!name->empty()) name->push_back('.');
    name->append(reinterpret_cast<const char*>(m + p + 1), b);
    if (name->size() > kDnsMaxNameLength) return false;
    p += 1 + b;
  }
  *pos = end;
  return true;
}

DnsAnswerStatus ParseDnsAnswer(const uint8_t* m, size_t len, uint16_t id,
                               std::vector<std::string>* addresses) {
  if (!m || len < kHeaderSize) return DnsAnswerStatus::kNotOurs;
  if (ReadId(m) != id) return DnsAnswerStatus::kNotOurs;
  if ((Read16(m + 2) & ~kIgnoredFlags) != kAnswerFlags) return DnsAnswerStatus::kNotOurs;
  const size_t answerCount = Read16(m + 6);
  if (answerCount == 0) return DnsAnswerStatus::kNotOurs;

  size_t pos = kHeaderSize;
  if (!SkipQuestions(m, len, Read16(m + 4), &pos)) return DnsAnswerStatus::kMalformed;
  std::vector<std::string> found;
  for (size_t i = 0; i < answerCount; ++i)
    if (!ReadAnswerRecord(m, len, &pos, &found)) return DnsAnswerStatus::kMalformed;
  if (addresses) *addresses = std::move(found);
  return DnsAnswerStatus::kAccepted;
}
