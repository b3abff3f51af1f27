// labels: threaded
// The diagnostics thread and its name lookups against dnsmasq and a resolver of ours that is
// silent or answers with aliases only.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commonlib/nettool/NSLookUpTask.h"
#include "commonlib/nettool/NetToolThread.h"
#include "tests/commonlib/http/HttpTestSupport.h"
#include "tests/support/DnsTestMessages.h"
#include "tests/support/DnsmasqServer.h"
#include "tests/support/FaultServer.h"

namespace {

using http_test::PumpUntil;

struct Result {
  int code;
  void* user;
  std::string host;
  std::string text;
};
std::vector<Result> g_results;

void OnResult(int code, void* user, const std::string& host, const std::string& text) {
  g_results.push_back({code, user, host, text});
}

class NetToolLookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitMainThreadDispatcher();
    g_results.clear();
    vkqx_test::DnsmasqRecords records;
    records.addresses = {{"one.test", "10.0.0.1"}, {"two.test", "10.0.0.2"}, {"two.test", "10.0.0.3"}};
    dns = std::make_unique<vkqx_test::DnsmasqServer>(records);
    ASSERT_TRUE(dns->Start());
    ASSERT_TRUE(silent.StartDns([](const std::vector<uint8_t>&) { return std::vector<vkqx_test::UdpReply>(); }));
    silentResolver = "127.0.0.1:" + std::to_string(silent.port());
  }
  bool WaitForResults(size_t n, uint32_t timeoutMs = 8000) {
    return PumpUntil([n] { return g_results.size() >= n; }, timeoutMs);
  }

  CNetToolThread* thread = CNetToolThread::GetInstance();
  std::unique_ptr<vkqx_test::DnsmasqServer> dns;
  vkqx_test::FaultServer silent;
  std::string silentResolver;
  int app = 0;
};

TEST_F(NetToolLookupTest, LookupsRunInSubmissionOrder) {
  ASSERT_TRUE(SubmitNSLookupVia(&app, thread, "two.test", dns->Resolver(), &OnResult));
  ASSERT_TRUE(SubmitNSLookupVia(&app, thread, "one.test", dns->Resolver(), &OnResult));
  ASSERT_TRUE(WaitForResults(2));
  EXPECT_EQ("two.test", g_results[0].host);
  EXPECT_EQ(0, g_results[0].code);
  EXPECT_TRUE(g_results[0].text == "10.0.0.2;10.0.0.3" || g_results[0].text == "10.0.0.3;10.0.0.2")
      << g_results[0].text;
  EXPECT_EQ(&app, g_results[0].user);
  EXPECT_EQ("one.test", g_results[1].host);
  EXPECT_EQ("10.0.0.1", g_results[1].text);
}

TEST_F(NetToolLookupTest, SecondResolverIsAskedOnlyWhenTheFirstGivesNothing) {
  ASSERT_TRUE(SubmitNSLookupVia(&app, thread, "one.test", dns->Resolver() + ";" + silentResolver, &OnResult));
  ASSERT_TRUE(WaitForResults(1));
  EXPECT_EQ(0u, silent.DnsQueries());

  ASSERT_TRUE(SubmitNSLookupVia(&app, thread, "one.test", silentResolver + ";" + dns->Resolver(), &OnResult));
  ASSERT_TRUE(WaitForResults(2));
  EXPECT_EQ(1u, silent.DnsQueries());
  EXPECT_EQ("10.0.0.1", g_results[1].text);

  ASSERT_TRUE(SubmitNSLookupVia(&app, thread, "one.test", silentResolver, &OnResult));
  ASSERT_TRUE(WaitForResults(3));
  EXPECT_EQ(-1, g_results[2].code);
  EXPECT_EQ("", g_results[2].text);
}

TEST_F(NetToolLookupTest, AnswerOfAliasesOnlyIsSuccessWithoutAddresses) {
  vkqx_test::FaultServer aliases;
  ASSERT_TRUE(aliases.StartDns([](const std::vector<uint8_t>& query) {
    return std::vector<vkqx_test::UdpReply>{{vkqx_test::DnsAnswer(query, {}, {"target.test"})}};
  }));
  const std::string resolver = "127.0.0.1:" + std::to_string(aliases.port());
  ASSERT_TRUE(SubmitNSLookupVia(&app, thread, "alias.test", resolver + ";" + dns->Resolver(), &OnResult));
  ASSERT_TRUE(WaitForResults(1));
  EXPECT_EQ(0, g_results[0].code);
  EXPECT_EQ("", g_results[0].text);
}

TEST_F(NetToolLookupTest, ShortHostOrMissingApplicationIsRefused) {
  EXPECT_FALSE(SubmitNSLookupVia(&app, thread, "ab", dns->Resolver(), &OnResult));
  EXPECT_FALSE(SubmitNSLookupVia(nullptr, thread, "one.test", dns->Resolver(), &OnResult));
  EXPECT_EQ(0u, thread->QueuedCount());
  http_test::PumpFor(50);
  EXPECT_TRUE(g_results.empty());
}

TEST_F(NetToolLookupTest, TaskSubmittedWhileTheWorkerEndsIsNotStranded) {
  // Each lookup takes a millisecond or two; submitting at staggered moments lands some of them
  // just as the worker finds its queue empty.
  constexpr int kRounds = 40;
  for (int i = 0; i < kRounds; ++i) {
    ASSERT_TRUE(SubmitNSLookupVia(&app, thread, "one.test", dns->Resolver(), &OnResult));
    const uint64_t until = platform::GetTickCount64() + (i % 4);
    while (platform::GetTickCount64() < until) {
    }
  }
  ASSERT_TRUE(WaitForResults(kRounds, 20000)) << g_results.size() << " of " << kRounds;
  for (const Result& r : g_results) EXPECT_EQ("10.0.0.1", r.text);
}

}  // namespace
