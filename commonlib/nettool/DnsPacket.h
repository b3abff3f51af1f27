// The wire form of the resolver's address queries and answers: building the query packet,
// decoding names (with compression) and reading the address records of an answer. Every reader
// here is safe against any datagram: it never reads outside the bytes it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Header (12) + encoded name (at most 255) + question type and class (4).
inline constexpr size_t kDnsQueryPacketSize = 271;
// The largest datagram a query waits for; longer ones are not answers to it.
inline constexpr size_t kDnsMaxDatagramSize = 1024;
// Longer decoded names make an answer unusable.
inline constexpr size_t kDnsMaxNameLength = 128;

inline constexpr uint16_t kDnsTypeA = 1;
inline constexpr uint16_t kDnsTypeCname = 5;

// Writes the address (type A, class IN) query for host with the identifier id. Returns the packet
// length, or 0 when the name has no label, a label longer than 63 bytes, or does not fit.
size_t BuildDnsQuery(std::string_view host, uint16_t id, uint8_t* packet, size_t capacity);

// Decodes the name at *pos of the message as dotted text. On success *pos is just past the name
// where it starts (after its first compression pointer, if any). Fails on a pointer chain that
// loops, a name longer than kDnsMaxNameLength, or bytes past the end of the message.
bool DecodeDnsName(const uint8_t* message, size_t length, size_t* pos, std::string* name);

enum class DnsAnswerStatus {
  kAccepted,  // our answer: addresses holds its address records
  kNotOurs,   // another identifier, a failure, a truncated answer or no answer records
  kMalformed  // ours by its header, but its records cannot be read
};

// Reads a datagram as the answer to the query with identifier id. addresses receives the address
// records as "%d.%d.%d.%d" in answer order, only when the answer is accepted.
DnsAnswerStatus ParseDnsAnswer(const uint8_t* message, size_t length, uint16_t id,
                               std::vector<std::string>* addresses);
