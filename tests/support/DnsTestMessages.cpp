#include "tests/support/DnsTestMessages.h"

#include <arpa/inet.h>

namespace vkqx_test {
namespace {

void Put16(std::vector<uint8_t>& m, uint16_t v) {
  m.push_back(static_cast<uint8_t>(v >> 8));
  m.push_back(static_cast<uint8_t>(v));
}

// The question section of the query: its name and four bytes of type and class.
std::vector<uint8_t> Question(const std::vector<uint8_t>& q) {
  size_t p = 12;
  while (p < q.size() && q[p] != 0) p += 1 + q[p];
  p = std::min(p + 5, q.size());
  return p > 12 ? std::vector<uint8_t>(q.begin() + 12, q.begin() + p) : std::vector<uint8_t>{0, 0, 1, 0, 1};
}

void Record(std::vector<uint8_t>& m, uint16_t type, const std::vector<uint8_t>& data) {
  Put16(m, 0xC00C);  // the question's name
  Put16(m, type);
  Put16(m, 1);
  Put16(m, 0);
  Put16(m, 60);
  Put16(m, static_cast<uint16_t>(data.size()));
  m.insert(m.end(), data.begin(), data.end());
}

std::vector<uint8_t> Ipv4Bytes(const std::string& ip) {
  in_addr a{};
  ::inet_pton(AF_INET, ip.c_str(), &a);
  const auto* b = reinterpret_cast<const uint8_t*>(&a.s_addr);
  return {b[0], b[1], b[2], b[3]};
}

}  // namespace

std::vector<uint8_t> DnsLabels(const std::string& dotted) {
  std::vector<uint8_t> out;
  size_t start = 0;
  while (start < dotted.size()) {
    size_t dot = dotted.find('.', start);
    if (dot == std::string::npos) dot = dotted.size();
    out.push_back(static_cast<uint8_t>(dot - start));
    out.insert(out.end(), dotted.begin() + static_cast<long>(start), dotted.begin() + static_cast<long>(dot));
    start = dot + 1;
  }
  out.push_back(0);
  return out;
}

std::vector<uint8_t> DnsAnswer(const std::vector<uint8_t>& query,
                               const std::vector<std::string>& addresses,
                               const std::vector<std::string>& aliasTargets) {
  std::vector<uint8_t> m;
  m.push_back(query.size() > 0 ? query[0] : 0);
  m.push_back(query.size() > 1 ? query[1] : 0);
  Put16(m, 0x8180);
  Put16(m, 1);
  Put16(m, static_cast<uint16_t>(addresses.size() + aliasTargets.size()));
  Put16(m, 0);
  Put16(m, 0);
  const std::vector<uint8_t> q = Question(query);
  m.insert(m.end(), q.begin(), q.end());
  for (const std::string& t : aliasTargets) Record(m, 5, DnsLabels(t));
  for (const std::string& a : addresses) Record(m, 1, Ipv4Bytes(a));
  return m;
}

std::vector<uint8_t> FaultyDnsAnswer(const std::vector<uint8_t>& query, DnsFault fault) {
  std::vector<uint8_t> m = DnsAnswer(query, {"192.0.2.1"});
  switch (fault) {
    case DnsFault::kWrongId: m[0] ^= 0x5A; m[1] ^= 0xA5; break;
    case DnsFault::kTruncated: m[2] |= 0x02; break;
    case DnsFault::kServerFailure: m[3] = (m[3] & 0xF0) | 2; break;
    case DnsFault::kNoAnswers:
      m[7] = 0;
      m.resize(m.size() - 16);
      break;
    case DnsFault::kCompressionLoop: {
      const size_t owner = m.size() - 16;
      m[owner] = static_cast<uint8_t>(0xC0 | (owner >> 8));
      m[owner + 1] = static_cast<uint8_t>(owner);
      break;
    }
    case DnsFault::kRecordPastEnd: m.resize(m.size() - 2); break;
    case DnsFault::kHugeCount: m[6] = 0xFF; m[7] = 0xFF; break;
    case DnsFault::kNotAResponse: m[2] &= 0x7F; break;
  }
  return m;
}

}  // namespace vkqx_test
