// The real program: the command line reaches CMainApp, the string table reaches the statistics
// identity, and the start-up lookup through the test's dnsmasq picks the spare list.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include "tests/installer/InstallerProcess.h"
#include "tests/support/DnsmasqServer.h"
#include "tests/support/TempDir.h"

namespace {

using vkqx_test::InstallerProcess;

void ExpectCleanExit(InstallerProcess& installer) {
  installer.Signal(SIGTERM);
  int status = -1;
  ASSERT_TRUE(installer.WaitExit(20000, &status)) << installer.Output();
  ASSERT_TRUE(WIFEXITED(status)) << installer.Output();
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(InstallerOptionsTest, HideIdAndRunReachTheApplication) {
  vkqx_test::TempDir runtime;
  InstallerProcess installer({"-h", "-i", "5", "-r", "0"}, runtime.path());
  ASSERT_TRUE(installer.WaitForLine(vkqx_test::kLoopRunning, vkqx_test::kStartTimeoutMs)) << installer.Output();
  const std::string& out = installer.Output();
  EXPECT_NE(out.find("main() 消息循环开始 hide:1 id:5 run:0"), std::string::npos) << out;
  // The identity carries string 2 of the program (1008 in this build), not the -i option.
  EXPECT_NE(out.find("version:1.0.2|mini_downloader|GameId:1008 product_id:mini_downloader|id:1008"),
            std::string::npos)
      << out;
  ExpectCleanExit(installer);
}

TEST(InstallerOptionsTest, WithoutOptionsTheWindowShowsAndTheLauncherRuns) {
  vkqx_test::TempDir runtime;
  InstallerProcess installer({"extra", "/x"}, runtime.path());
  ASSERT_TRUE(installer.WaitForLine(vkqx_test::kLoopRunning, vkqx_test::kStartTimeoutMs)) << installer.Output();
  EXPECT_NE(installer.Output().find("main() 消息循环开始 hide:0 id:0 run:1"), std::string::npos)
      << installer.Output();
  ExpectCleanExit(installer);
}

struct MarkerCase {
  std::vector<std::string> answers;
  bool chosen;
};

class StartupLookupTest : public ::testing::TestWithParam<MarkerCase> {};

TEST_P(StartupLookupTest, TheTestHostsAnswerPicksTheSpareList) {
  vkqx_test::DnsmasqRecords records;
  for (const std::string& a : GetParam().answers) records.addresses.emplace_back("nettest.test", a);
  vkqx_test::DnsmasqServer dns(records);
  ASSERT_TRUE(dns.Start());
  vkqx_test::TempDir runtime;
  InstallerProcess installer({"-h"}, runtime.path(),
                             {"VKQX_RESOLVERS=" + dns.Resolver(), "VKQX_TEST_HOST=nettest.test",
                              "VKQX_SPARE_IPS=127.0.0.9", "VKQX_MARKER_LISTS=3.3.3.3=127.0.0.2;127.0.0.3|2.2.2.2=127.0.0.4"});
  ASSERT_TRUE(installer.WaitForLine("dns_result_callback OnSpareDNSResult", vkqx_test::kStartTimeoutMs))
      << installer.Output() << dns.Logs();
  ASSERT_TRUE(installer.WaitForLine("\n", 1000));
  const std::string& out = installer.Output();
  std::string joined;
  for (const std::string& a : GetParam().answers) joined += (joined.empty() ? "" : ";") + a;
  EXPECT_NE(out.find("OnSpareDNSResult 解析成功 code:0, domain:nettest.test, ip_list:" + joined), std::string::npos)
      << out;
  if (GetParam().chosen) {
    EXPECT_TRUE(installer.WaitForLine("解析ip列表为:127.0.0.2;127.0.0.3", 5000)) << out;
  }
  ExpectCleanExit(installer);
  EXPECT_EQ(installer.Output().find("解析ip列表为:") != std::string::npos, GetParam().chosen) << installer.Output();
  EXPECT_EQ(installer.Output().find("仅限本机"), std::string::npos) << installer.Output();
}

INSTANTIATE_TEST_SUITE_P(Answers, StartupLookupTest,
                         ::testing::Values(MarkerCase{{"3.3.3.3"}, true}, MarkerCase{{"3.3.3.3", "2.2.2.2"}, false},
                                           MarkerCase{{"10.9.8.7"}, false}));

}  // namespace
