#include "commonlib/nettool/DnsClient.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(DnsResolverEntry, PortIsOptionalAndDefaultsTo53) {
  struct Case {
    const char* text;
    bool ok;
    uint32_t address;
    uint16_t port;
  } cases[] = {
      {"8.8.8.8", true, 0x08080808, 53},
      {"127.0.0.1:5353", true, 0x7F000001, 5353},
      {"127.0.0.1:65535", true, 0x7F000001, 65535},
      {"127.0.0.1:0", false, 0, 0},
      {"127.0.0.1:65536", false, 0, 0},
      {"127.0.0.1:", false, 0, 0},
      {"127.0.0.1:53x", false, 0, 0},
      {"256.0.0.1", false, 0, 0},
      {"1.2.3", false, 0, 0},
      {" 1.2.3.4", false, 0, 0},
      {"dns.example", false, 0, 0},
      {"", false, 0, 0},
  };
  for (const Case& c : cases) {
    platform::Ipv4Endpoint e;
    ASSERT_EQ(ParseDnsResolver(c.text, &e), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(e.address, c.address) << c.text;
      EXPECT_EQ(e.port, c.port) << c.text;
    }
  }
}

TEST(DnsResolverEntry, BuiltInResolversAreFourDistinctAddresses) {
  const std::vector<std::string>& list = BuiltInDnsResolvers();
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(std::set<std::string>(list.begin(), list.end()).size(), 4u);
  for (const std::string& r : list) EXPECT_TRUE(ParseDnsResolver(r, nullptr)) << r;
}

TEST(DnsQueryAddresses, FailsAtOnceWithoutSendingWhatCannotBeAsked) {
  CDnsClient client;
  ASSERT_TRUE(client.IsUsable());
  const std::string tooLong = std::string(64, 'x') + ".test";
  struct Case {
    const char* host;
    const char* resolver;
    CDnsClient* client;
  } cases[] = {
      {nullptr, "127.0.0.1", &client},
      {"host.test", nullptr, &client},
      {"host.test", "not-an-address", &client},
      {"host.test", "127.0.0.1", nullptr},
      {tooLong.c_str(), "127.0.0.1", &client},
      {"..", "127.0.0.1", &client},
  };
  for (const Case& c : cases) {
    std::vector<std::string> addresses = {"stale"};
    int responseTime = 0;
    EXPECT_EQ(QueryAddresses(c.host, responseTime, addresses, c.client, c.resolver), 0);
    EXPECT_TRUE(addresses.empty());
    EXPECT_EQ(responseTime, kDnsNoAnswerMs);
  }
}

}  // namespace
