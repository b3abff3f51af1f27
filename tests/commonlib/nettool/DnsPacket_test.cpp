#include "commonlib/nettool/DnsPacket.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Query(const std::string& host, uint16_t id = 0x1234) {
  Bytes p(kDnsQueryPacketSize);
  p.resize(BuildDnsQuery(host, id, p.data(), p.size()));
  return p;
}

Bytes Labels(std::initializer_list<std::string> labels) {
  Bytes out;
  for (const std::string& l : labels) {
    out.push_back(static_cast<uint8_t>(l.size()));
    out.insert(out.end(), l.begin(), l.end());
  }
  out.push_back(0);
  return out;
}

TEST(DnsQuery, HeaderAndQuestionAreTheStandardAddressQuery) {
  const Bytes p = Query("a..b.example", 0xBEEF);
  uint16_t id;
  std::memcpy(&id, p.data(), 2);
  EXPECT_EQ(id, 0xBEEF);  // as the machine stores it; the resolver echoes the two bytes
  const Bytes header(p.begin() + 2, p.begin() + 12);
  EXPECT_EQ(header, (Bytes{0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0}));
  Bytes question = Labels({"a", "b", "example"});  // the empty label is dropped
  question.insert(question.end(), {0, 1, 0, 1});
  EXPECT_EQ(Bytes(p.begin() + 12, p.end()), question);
}

TEST(DnsQuery, NamesThatCannotBeEncodedAreRefused) {
  const std::string label63(63, 'x');
  struct Case {
    std::string host;
    bool encodes;
  } cases[] = {
      {"example.test.", true},
      {".", false},
      {"", false},
      {label63 + ".test", true},
      {std::string(64, 'x') + ".test", false},  // its length byte would read as a pointer
      // 4 labels of 63 bytes: 4 * 64 + 1 = 257 bytes of name, more than 255
      {label63 + "." + label63 + "." + label63 + "." + label63, false},
      // 3 labels of 63 and one of 61: 3 * 64 + 62 + 1 = 255 bytes, the most that fits
      {label63 + "." + label63 + "." + label63 + "." + std::string(61, 'y'), true},
  };
  for (const Case& c : cases) {
    Bytes p(kDnsQueryPacketSize);
    const size_t n = BuildDnsQuery(c.host, 1, p.data(), p.size());
    EXPECT_EQ(n != 0, c.encodes) << c.host.size() << " bytes: " << c.host.substr(0, 20);
    EXPECT_LE(n, kDnsQueryPacketSize);
  }
}

TEST(DnsName, DecodesLabelsPointersAndRefusesBrokenNames) {
  // A message of 12 header bytes, then "example.test" at 12, then the name under test at 26.
  const Bytes base = [] {
    Bytes m(12, 0);
    const Bytes n = Labels({"example", "test"});
    m.insert(m.end(), n.begin(), n.end());
    return m;
  }();
  const std::string long64(64, 'a');
  struct Case {
    const char* what;
    Bytes name;
    bool ok;
    std::string text;
    size_t consumed;  // bytes of the name in place
  } cases[] = {
      {"plain", Labels({"www", "example"}), true, "www.example", 13},
      {"root", {0}, true, "", 1},
      {"pointer only", {0xC0, 12}, true, "example.test", 2},
      {"label then pointer", {3, 'w', 'w', 'w', 0xC0, 12}, true, "www.example.test", 6},
      {"pointer to a pointer", {0xC0, 28, 0xC0, 12}, true, "example.test", 2},
      {"a length byte above 63 is a pointer", {0x40, 12}, true, "example.test", 2},
      {"pointer to itself", {0xC0, 26}, false, "", 0},
      {"two pointers in a loop", {0xC0, 28, 0xC0, 26}, false, "", 0},
      {"pointer past the end", {0xC0, 0xFF}, false, "", 0},
      {"pointer cut short", {0xC0}, false, "", 0},
      {"label past the end", {5, 'a', 'b'}, false, "", 0},
      {"no terminating zero", {1, 'a'}, false, "", 0},
  };
  for (const Case& c : cases) {
    Bytes m = base;
    m.insert(m.end(), c.name.begin(), c.name.end());
    size_t pos = 26;
    std::string text;
    EXPECT_EQ(DecodeDnsName(m.data(), m.size(), &pos, &text), c.ok) << c.what;
    if (c.ok) {
      EXPECT_EQ(text, c.text) << c.what;
      EXPECT_EQ(pos, 26 + c.consumed) << c.what;
    }
  }
}

TEST(DnsName, LengthLimitIs128Characters) {
  for (size_t length : {127u, 128u, 129u}) {
    // Two labels of 40 and the rest; the dots between them count.
    const std::string label(40, 'a'), rest(length - 82, 'b');
    const Bytes m = Labels({label, label, rest});
    size_t pos = 0;
    std::string text;
    EXPECT_EQ(DecodeDnsName(m.data(), m.size(), &pos, &text), length <= kDnsMaxNameLength) << length;
  }
  // A loop through labels grows the name until the limit stops it.
  const Bytes loop = {3, 'a', 'b', 'c', 0xC0, 0};
  size_t pos = 0;
  std::string text;
  EXPECT_FALSE(DecodeDnsName(loop.data(), loop.size(), &pos, &text));
}

// An answer to Query("host.test", 0x1234) with the given flags and records.
struct AnswerBuilder {
  Bytes m;
  AnswerBuilder(uint16_t flags = 0x8180, uint16_t answers = 0) {
    m = Query("host.test");
    m[2] = static_cast<uint8_t>(flags >> 8);
    m[3] = static_cast<uint8_t>(flags);
    m[7] = static_cast<uint8_t>(answers);
  }
  AnswerBuilder& Record(uint16_t type, const Bytes& data, int16_t lengthDelta = 0) {
    const uint16_t length = static_cast<uint16_t>(data.size() + lengthDelta);
    m.insert(m.end(), {0xC0, 12, static_cast<uint8_t>(type >> 8), static_cast<uint8_t>(type), 0, 1,
                       0, 0, 0, 60, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
    m.insert(m.end(), data.begin(), data.end());
    ++m[7];
    return *this;
  }
};

TEST(DnsAnswer, AcceptanceFollowsIdentifierFlagsAndAnswerCount) {
  const Bytes a = {192, 0, 2, 1};
  struct Case {
    const char* what;
    Bytes message;
    uint16_t id;
    DnsAnswerStatus status;
  } cases[] = {
      {"plain answer", AnswerBuilder().Record(1, a).m, 0x1234, DnsAnswerStatus::kAccepted},
      {"authoritative, recursion not available", AnswerBuilder(0x8500).Record(1, a).m, 0x1234,
       DnsAnswerStatus::kAccepted},
      {"another identifier", AnswerBuilder().Record(1, a).m, 0x4321, DnsAnswerStatus::kNotOurs},
      {"truncated", AnswerBuilder(0x8380).Record(1, a).m, 0x1234, DnsAnswerStatus::kNotOurs},
      {"NXDOMAIN", AnswerBuilder(0x8183).Record(1, a).m, 0x1234, DnsAnswerStatus::kNotOurs},
      {"server failure", AnswerBuilder(0x8182).Record(1, a).m, 0x1234, DnsAnswerStatus::kNotOurs},
      {"a query, not a response", AnswerBuilder(0x0100).Record(1, a).m, 0x1234,
       DnsAnswerStatus::kNotOurs},
      {"recursion not desired", AnswerBuilder(0x8080).Record(1, a).m, 0x1234,
       DnsAnswerStatus::kNotOurs},
      {"no answer records", AnswerBuilder().m, 0x1234, DnsAnswerStatus::kNotOurs},
      {"shorter than a header", Bytes{0x34, 0x12, 0x81}, 0x1234, DnsAnswerStatus::kNotOurs},
      {"record data past the end", AnswerBuilder().Record(1, a, 1).m, 0x1234,
       DnsAnswerStatus::kMalformed},
      {"address of five bytes", AnswerBuilder().Record(1, {1, 2, 3, 4, 5}).m, 0x1234,
       DnsAnswerStatus::kMalformed},
      {"alias target that loops", AnswerBuilder().Record(5, {0xC0, 39}).m, 0x1234,
       DnsAnswerStatus::kMalformed},
      {"alias target longer than its data", AnswerBuilder().Record(5, {1, 'x', 0}, -1).m, 0x1234,
       DnsAnswerStatus::kMalformed},
  };
  // The id in the built messages is 0x1234 as the machine stores it. The alias data of the loop
  // case starts at 39: a 27-byte query, then the record's 12 bytes before its data.
  for (const Case& c : cases) {
    std::vector<std::string> addresses = {"stale"};
    EXPECT_EQ(ParseDnsAnswer(c.message.data(), c.message.size(), c.id, &addresses), c.status)
        << c.what;
    if (c.status != DnsAnswerStatus::kAccepted) {
      EXPECT_EQ(addresses, std::vector<std::string>{"stale"}) << c.what;
    }
  }
}

TEST(DnsAnswer, CountsBeyondTheDatagramAreMalformed) {
  Bytes huge = AnswerBuilder().Record(1, {192, 0, 2, 1}).m;
  huge[6] = 0xFF;
  huge[7] = 0xFF;
  EXPECT_EQ(ParseDnsAnswer(huge.data(), huge.size(), 0x1234, nullptr), DnsAnswerStatus::kMalformed);
  Bytes questions = AnswerBuilder().Record(1, {192, 0, 2, 1}).m;
  questions[4] = 0xFF;
  EXPECT_EQ(ParseDnsAnswer(questions.data(), questions.size(), 0x1234, nullptr),
            DnsAnswerStatus::kMalformed);
}

TEST(DnsAnswer, TakesAddressRecordsInOrderAndSkipsOthers) {
  const Bytes cname = {5, 'a', 'l', 'i', 'a', 's', 0xC0, 12};
  Bytes v6(16, 0);
  v6[15] = 1;
  const Bytes m = AnswerBuilder()
                      .Record(5, cname)
                      .Record(1, {198, 51, 100, 7})
                      .Record(28, v6)
                      .Record(1, {203, 0, 113, 255})
                      .m;
  std::vector<std::string> addresses;
  ASSERT_EQ(ParseDnsAnswer(m.data(), m.size(), 0x1234, &addresses), DnsAnswerStatus::kAccepted);
  EXPECT_EQ(addresses, (std::vector<std::string>{"198.51.100.7", "203.0.113.255"}));

  const Bytes aliasOnly = AnswerBuilder().Record(5, cname).m;
  addresses = {"stale"};
  ASSERT_EQ(ParseDnsAnswer(aliasOnly.data(), aliasOnly.size(), 0x1234, &addresses),
            DnsAnswerStatus::kAccepted);
  EXPECT_TRUE(addresses.empty());
}

}  // namespace
