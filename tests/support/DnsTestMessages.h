// DNS datagrams for tests: answers to a query received by the fault server, good or broken in one
// chosen way. Written independently of the system's own encoder and decoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vkqx_test {

// An answer to query (its identifier and question echoed, flags 0x8180): first a CNAME record per
// alias target (owner: the question's name), then one A record per address.
std::vector<uint8_t> DnsAnswer(const std::vector<uint8_t>& query,
                               const std::vector<std::string>& addresses,
                               const std::vector<std::string>& aliasTargets = {});

enum class DnsFault {
  kWrongId,          // the identifier differs
  kTruncated,        // the truncation bit is set
  kServerFailure,    // response code 2
  kNoAnswers,        // no answer records
  kCompressionLoop,  // the answer's owner name is a pointer to itself
  kRecordPastEnd,    // the address record's data runs past the end of the datagram
  kHugeCount,        // claims 65535 answer records, holds one
  kNotAResponse,     // the response bit is clear
};

// The answer DnsAnswer(query, {"192.0.2.1"}) would be, broken in the way given.
std::vector<uint8_t> FaultyDnsAnswer(const std::vector<uint8_t>& query, DnsFault fault);

// "a.b" as DNS labels: 1 'a' 1 'b' 0.
std::vector<uint8_t> DnsLabels(const std::string& dotted);

}  // namespace vkqx_test
