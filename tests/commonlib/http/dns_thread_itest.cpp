// labels: threaded
// A command's resolver thread against dnsmasq and a resolver of ours that never answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "commonlib/http/DNSThread.h"
#include "tests/commonlib/http/HttpTestSupport.h"
#include "tests/support/DnsmasqServer.h"
#include "tests/support/FaultServer.h"

namespace {

using http_test::PumpUntil;

struct Answer {
  int code = 0;
  void* id = nullptr;
  std::string domain;
  std::string list;
  uint64_t atMs = 0;
};
std::vector<Answer> g_answers;

void OnAnswer(int code, void* id, const std::string& domain, const std::string& list) {
  g_answers.push_back({code, id, domain, list, platform::GetTickCount64()});
}

std::string Sorted(std::string list) {
  std::vector<std::string> parts;
  size_t begin = 0;
  for (size_t end; (end = list.find(';', begin)) != std::string::npos; begin = end + 1)
    parts.push_back(list.substr(begin, end - begin));
  parts.push_back(list.substr(begin));
  std::sort(parts.begin(), parts.end());
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : ";") + p;
  return out;
}

class DNSThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitMainThreadDispatcher();
    g_answers.clear();
    vkqx_test::DnsmasqRecords records;
    records.addresses = {{"multi.test", "10.1.0.1"}, {"multi.test", "10.1.0.2"}, {"multi.test", "10.1.0.3"},
                         {"single.test", "10.2.0.1"}};
    dns = std::make_unique<vkqx_test::DnsmasqServer>(records);
    ASSERT_TRUE(dns->Start());
    ASSERT_TRUE(silent.StartDns([](const std::vector<uint8_t>&) { return std::vector<vkqx_test::UdpReply>(); }));
    silentResolver = "127.0.0.1:" + std::to_string(silent.port());
  }
  void TearDown() override { CDNSThread::SetServers({}); }

  std::unique_ptr<vkqx_test::DnsmasqServer> dns;
  vkqx_test::FaultServer silent;
  std::string silentResolver;
  int requester = 0;
};

TEST_F(DNSThreadTest, ThreeAddressesComeBackJoinedInOneAnswer) {
  CDNSThread::SetServers({dns->Resolver()});
  CDNSThread thread;
  ASSERT_TRUE(thread.Resolve("multi.test", &requester, &OnAnswer));
  ASSERT_TRUE(PumpUntil([] { return !g_answers.empty(); }, 5000));
  http_test::PumpFor(50);
  ASSERT_EQ(1u, g_answers.size());
  EXPECT_EQ(0, g_answers[0].code);
  EXPECT_EQ(&requester, g_answers[0].id);
  EXPECT_EQ("multi.test", g_answers[0].domain);
  EXPECT_EQ("10.1.0.1;10.1.0.2;10.1.0.3", Sorted(g_answers[0].list));
}

TEST_F(DNSThreadTest, SilentFirstServerHandsOverToTheSecondAfterItsWait) {
  CDNSThread::SetServers({silentResolver, dns->Resolver()});
  CDNSThread thread;
  const uint64_t start = platform::GetTickCount64();
  ASSERT_TRUE(thread.Resolve("single.test", &requester, &OnAnswer));
  ASSERT_TRUE(PumpUntil([] { return !g_answers.empty(); }, 5000));
  EXPECT_EQ(0, g_answers[0].code);
  EXPECT_EQ("10.2.0.1", g_answers[0].list);
  EXPECT_GE(g_answers[0].atMs - start, 1500u);
  EXPECT_EQ(1u, silent.DnsQueries());
}

TEST_F(DNSThreadTest, NoServerAnsweringGivesMinusOne) {
  CDNSThread::SetServers({silentResolver});
  CDNSThread thread;
  ASSERT_TRUE(thread.Resolve("single.test", &requester, &OnAnswer));
  ASSERT_TRUE(PumpUntil([] { return !g_answers.empty(); }, 5000));
  EXPECT_EQ(-1, g_answers[0].code);
  EXPECT_EQ("", g_answers[0].list);
}

TEST_F(DNSThreadTest, SecondResolveReplacesTheFirst) {
  vkqx_test::TraceCapture trace;
  CDNSThread::SetServers({silentResolver, dns->Resolver()});
  CDNSThread thread;
  int other = 0;
  ASSERT_TRUE(thread.Resolve("multi.test", &requester, &OnAnswer));
  for (int i = 0; i < 200 && silent.DnsQueries() == 0; ++i) platform::Sleep(5);
  ASSERT_EQ(1u, silent.DnsQueries());  // the first resolution now waits on the silent server
  ASSERT_TRUE(thread.Resolve("single.test", &other, &OnAnswer));
  ASSERT_TRUE(PumpUntil([] { return !g_answers.empty(); }, 5000));
  http_test::PumpFor(2000);  // long enough for the first thread to have ended its wait
  ASSERT_EQ(1u, g_answers.size());
  EXPECT_EQ(&other, g_answers[0].id);
  EXPECT_EQ("10.2.0.1", g_answers[0].list);
  EXPECT_TRUE(trace.Has(L"CSimpleThread::DestroyThread线程结束超时"));
}

TEST_F(DNSThreadTest, ShortDomainOrMissingRequesterStartsNothing) {
  CDNSThread thread;
  EXPECT_FALSE(thread.Resolve("ab", &requester, &OnAnswer));
  EXPECT_FALSE(thread.Resolve("multi.test", nullptr, &OnAnswer));
  EXPECT_FALSE(thread.IsRunning());
  http_test::PumpFor(50);
  EXPECT_TRUE(g_answers.empty());
}

}  // namespace
