// labels: threaded
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "commonlib/nettool/DnsClient.h"
#include "platform/clock.h"
#include "tests/support/DnsTestMessages.h"
#include "tests/support/DnsmasqServer.h"
#include "tests/support/FaultServer.h"

namespace {

using vkqx_test::DnsFault;
using vkqx_test::UdpReply;
using Bytes = std::vector<uint8_t>;

struct Outcome {
  int result = -1;
  int responseTimeMs = -1;
  std::vector<std::string> addresses;
  int64_t realMs = 0;
};

Outcome Ask(const std::string& host, const std::string& resolver) {
  CDnsClient client;
  EXPECT_TRUE(client.IsUsable());
  Outcome o;
  const auto t0 = std::chrono::steady_clock::now();
  o.result = QueryAddresses(host.c_str(), o.responseTimeMs, o.addresses, &client, resolver.c_str());
  o.realMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
                 .count();
  return o;
}

std::string Resolver(const vkqx_test::FaultServer& s) { return "127.0.0.1:" + std::to_string(s.port()); }

// A tick count that runs twenty times faster than real time, so that waiting out the answer
// budget costs 75 ms; the budget itself is what is tested, not the real time it takes.
class FastTick {
 public:
  FastTick() { platform::SetClockForTesting({&Now, nullptr, nullptr}); }
  ~FastTick() { platform::SetClockForTesting({}); }

 private:
  static uint64_t Now() {
    using namespace std::chrono;
    return 1000000 + 20 * duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }
};

class DnsClientAgainstDnsmasq : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    vkqx_test::DnsmasqRecords r;
    r.addresses = {{"multi.test", "192.0.2.11"},
                   {"multi.test", "192.0.2.12"},
                   {"multi.test", "192.0.2.13"},
                   {"end.test", "198.51.100.50"}};
    r.aliases = {{"first.test", "middle.test"}, {"middle.test", "end.test"}};
    r.withoutAddresses = {"v6only.test"};
    s_server = new vkqx_test::DnsmasqServer(r);
    s_started = s_server->Start();
  }
  static void TearDownTestSuite() {
    delete s_server;
    s_server = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(s_started); }

  static vkqx_test::DnsmasqServer* s_server;
  static bool s_started;
};
vkqx_test::DnsmasqServer* DnsClientAgainstDnsmasq::s_server = nullptr;
bool DnsClientAgainstDnsmasq::s_started = false;

TEST_F(DnsClientAgainstDnsmasq, NameWithSeveralAddressesGivesThemAll) {
  const Outcome o = Ask("multi.test", s_server->Resolver());
  ASSERT_EQ(o.result, 1);
  EXPECT_EQ(std::set<std::string>(o.addresses.begin(), o.addresses.end()),
            (std::set<std::string>{"192.0.2.11", "192.0.2.12", "192.0.2.13"}));
  EXPECT_EQ(o.addresses.size(), 3u);
  EXPECT_GE(o.responseTimeMs, 0);
  EXPECT_LE(o.responseTimeMs, 1500);
}

TEST_F(DnsClientAgainstDnsmasq, AliasChainEndsInTheTargetsAddress) {
  const Outcome o = Ask("first.test", s_server->Resolver());
  ASSERT_EQ(o.result, 1);
  EXPECT_EQ(o.addresses, std::vector<std::string>{"198.51.100.50"});
}

TEST_F(DnsClientAgainstDnsmasq, NameWithoutAddressesWaitsOutTheBudget) {
  // Real time: the only answer is ignored, so the query takes the whole 1500 ms.
  const Outcome o = Ask("v6only.test", s_server->Resolver());
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.responseTimeMs, 1501);
  EXPECT_TRUE(o.addresses.empty());
  EXPECT_GE(o.realMs, 1500);
}

TEST_F(DnsClientAgainstDnsmasq, NxdomainCountsAsNoAnswer) {
  FastTick fast;
  const Outcome o = Ask("missing.test", s_server->Resolver());
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.responseTimeMs, 1501);
  EXPECT_TRUE(o.addresses.empty());
}

TEST(DnsClientAgainstFaultServer, MalformedOrForeignAnswersAreIgnoredAndTheWaitGoesOn) {
  const DnsFault faults[] = {DnsFault::kWrongId,         DnsFault::kTruncated,
                             DnsFault::kServerFailure,   DnsFault::kNoAnswers,
                             DnsFault::kCompressionLoop, DnsFault::kRecordPastEnd,
                             DnsFault::kHugeCount,       DnsFault::kNotAResponse};
  for (DnsFault fault : faults) {
    vkqx_test::FaultServer server;
    ASSERT_TRUE(server.StartDns([fault](const Bytes& q) {
      return std::vector<UdpReply>{{vkqx_test::FaultyDnsAnswer(q, fault)},
                                   {vkqx_test::DnsAnswer(q, {"198.51.100.9"}), 30}};
    }));
    const Outcome o = Ask("host.test", Resolver(server));
    EXPECT_EQ(o.result, 1) << static_cast<int>(fault);
    EXPECT_EQ(o.addresses, std::vector<std::string>{"198.51.100.9"}) << static_cast<int>(fault);
    // The broken datagram carries 192.0.2.1: had it been taken, the address would show it.
    EXPECT_LE(o.responseTimeMs, 1500) << static_cast<int>(fault);
  }
}

TEST(DnsClientAgainstFaultServer, DatagramLongerThan1024BytesIsIgnored) {
  vkqx_test::FaultServer server;
  ASSERT_TRUE(server.StartDns([](const Bytes& q) {
    Bytes big = vkqx_test::DnsAnswer(q, {"192.0.2.99"});
    big.resize(1100, 0);  // a sound answer followed by padding
    return std::vector<UdpReply>{{big}, {vkqx_test::DnsAnswer(q, {"192.0.2.1"}), 20}};
  }));
  const Outcome o = Ask("host.test", Resolver(server));
  ASSERT_EQ(o.result, 1);
  EXPECT_EQ(o.addresses, std::vector<std::string>{"192.0.2.1"});
}

TEST(DnsClientAgainstFaultServer, AliasThenTwoAddressesKeepsTheirOrder) {
  vkqx_test::FaultServer server;
  ASSERT_TRUE(server.StartDns([](const Bytes& q) {
    return std::vector<UdpReply>{
        {vkqx_test::DnsAnswer(q, {"203.0.113.2", "203.0.113.1"}, {"cdn.test"})}};
  }));
  const Outcome o = Ask("www.test", Resolver(server));
  ASSERT_EQ(o.result, 1);
  EXPECT_EQ(o.addresses, (std::vector<std::string>{"203.0.113.2", "203.0.113.1"}));

  const Outcome aliasOnly = [&] {
    vkqx_test::FaultServer s;
    EXPECT_TRUE(s.StartDns([](const Bytes& q) {
      return std::vector<UdpReply>{{vkqx_test::DnsAnswer(q, {}, {"cdn.test"})}};
    }));
    return Ask("www.test", Resolver(s));
  }();
  EXPECT_EQ(aliasOnly.result, 1);
  EXPECT_TRUE(aliasOnly.addresses.empty());
}

TEST(DnsClientAgainstFaultServer, TruncatedOnlyAnswerTimesOutInRealTime) {
  vkqx_test::FaultServer server;
  ASSERT_TRUE(server.StartDns([](const Bytes& q) {
    return std::vector<UdpReply>{{vkqx_test::FaultyDnsAnswer(q, DnsFault::kTruncated)}};
  }));
  const Outcome o = Ask("host.test", Resolver(server));
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.responseTimeMs, 1501);
  EXPECT_GE(o.realMs, 1500);
  EXPECT_EQ(server.DnsQueries(), 1u);
}

// The tick count reads start, then start + offset for ever after.
std::atomic<int> g_reads{0};
std::atomic<uint64_t> g_offset{0};
uint64_t SteppedTick() { return 5000 + (g_reads++ == 0 ? 0 : g_offset.load()); }

TEST(DnsClientAgainstFaultServer, AnswerAtExactly1500MsCountsAndAfterItDoesNot) {
  vkqx_test::FaultServer server;
  ASSERT_TRUE(server.StartDns([](const Bytes& q) {
    return std::vector<UdpReply>{{vkqx_test::DnsAnswer(q, {"192.0.2.5"}), 20}};
  }));
  for (uint64_t offset : {1500u, 1501u}) {
    g_reads = 0;
    g_offset = offset;
    platform::SetClockForTesting({&SteppedTick, nullptr, nullptr});
    const Outcome o = Ask("host.test", Resolver(server));
    platform::SetClockForTesting({});
    if (offset == 1500) {
      EXPECT_EQ(o.result, 1);
      EXPECT_EQ(o.responseTimeMs, 1500);
    } else {
      EXPECT_EQ(o.result, 0);
      EXPECT_EQ(o.responseTimeMs, 1501);
      EXPECT_TRUE(o.addresses.empty());
    }
  }
}

TEST(DnsClientAgainstFaultServer, AnswerFromAnotherAddressThanTheResolverIsIgnored) {
  // The resolver is a bare socket of the test: it takes the query, has a stranger send a valid
  // answer first, then answers itself.
  platform::UdpSocket resolver, stranger;
  ASSERT_EQ(resolver.Open(), 0u);
  ASSERT_EQ(resolver.Bind({0x7F000001, 0}), 0u);
  ASSERT_EQ(stranger.Open(), 0u);
  ASSERT_EQ(stranger.Bind({0x7F000001, 0}), 0u);
  const uint16_t port = resolver.LocalEndpoint().port;
  std::thread answerer([&] {
    uint8_t buf[512];
    size_t n = 0;
    platform::Ipv4Endpoint from;
    if (resolver.ReceiveFrom(buf, sizeof buf, &n, &from, 2000) != 0) return;
    const Bytes q(buf, buf + n);
    const Bytes spoofed = vkqx_test::DnsAnswer(q, {"192.0.2.66"});
    const Bytes real = vkqx_test::DnsAnswer(q, {"192.0.2.1"});
    stranger.SendTo(spoofed.data(), spoofed.size(), from);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    resolver.SendTo(real.data(), real.size(), from);
  });
  const Outcome o = Ask("host.test", "127.0.0.1:" + std::to_string(port));
  answerer.join();
  ASSERT_EQ(o.result, 1);
  EXPECT_EQ(o.addresses, std::vector<std::string>{"192.0.2.1"});
}

TEST(DnsClientAgainstFaultServer, SilentResolverWithFastTickReportsNoAnswer) {
  FastTick fast;
  vkqx_test::FaultServer server;
  ASSERT_TRUE(server.StartDns([](const Bytes&) { return std::vector<UdpReply>{}; }));
  const Outcome o = Ask("host.test", Resolver(server));
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.responseTimeMs, 1501);
  EXPECT_EQ(server.DnsQueries(), 1u);
}

}  // namespace
