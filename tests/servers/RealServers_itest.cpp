#include <gtest/gtest.h>

#include "tests/support/DnsmasqServer.h"
#include "tests/support/NginxServer.h"
#include "tests/support/RawHttp.h"
#include "tests/support/ServerProcess.h"

namespace {

using vkqx_test::NginxServer;

std::string Pattern(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>('a' + i % 26);
  return s;
}

// curl's status code, with the body written to the file given.
vkqx_test::ProgramResult Curl(std::vector<std::string> args) {
  std::vector<std::string> all = {"--silent", "--show-error", "--max-time", "10", "--noproxy", "*",
                                  "--write-out", "%{http_code}"};
  all.insert(all.end(), args.begin(), args.end());
  return vkqx_test::RunProgram(vkqx_test::FindProgram("curl"), all);
}

TEST(NginxServer, ServesARangeAndLogsWhichAddressItCameTo) {
  vkqx_test::NginxOptions o;
  o.addresses = {"127.0.0.1", "127.0.0.2", "127.0.0.3"};
  NginxServer nginx(o);
  ASSERT_TRUE(nginx.Start());
  const std::string body = Pattern(1000);
  nginx.WriteFile("pkg/file.bin", body);
  vkqx_test::TempDir out;

  const auto r = Curl({"--range", "100-199", "--output", out.Sub("part"), nginx.Url("/pkg/file.bin", "127.0.0.2")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "206");
  EXPECT_EQ(vkqx_test::ReadFileText(out.Sub("part")), body.substr(100, 100));

  const auto raw = vkqx_test::RawHttpExchange("127.0.0.3", nginx.port(), vkqx_test::HttpGetRequest("/pkg/file.bin"));
  EXPECT_EQ(raw.Body(), body);

  ASSERT_TRUE(nginx.WaitForAccessEntries(2)) << nginx.Logs();
  const auto log = nginx.AccessLog();
  EXPECT_EQ(log[0].serverAddress, "127.0.0.2");
  EXPECT_EQ(log[0].serverPort, nginx.port());
  EXPECT_EQ(log[0].request, "GET /pkg/file.bin HTTP/1.1");
  EXPECT_EQ(log[0].range, "bytes=100-199");
  EXPECT_EQ(log[0].status, 206);
  EXPECT_EQ(log[0].bodyBytes, 100u);
  EXPECT_EQ(log[1].serverAddress, "127.0.0.3");
  EXPECT_EQ(log[1].range, "");
  EXPECT_EQ(log[1].status, 200);
}

TEST(NginxServer, HttpsWithTheTestCertificate) {
  vkqx_test::NginxOptions o;
  o.https = true;
  NginxServer nginx(o);
  ASSERT_TRUE(nginx.Start());
  nginx.WriteFile("a.txt", "secure\n");

  const auto trusted = Curl({"--cacert", nginx.certificatePath(), nginx.HttpsUrl("/a.txt")});
  EXPECT_EQ(trusted.exitCode, 0) << trusted.err;
  EXPECT_EQ(trusted.out, "secure\n200");
  // The name is checked: "localhost" is in the certificate, an unlisted name is not.
  const auto byName = Curl({"--cacert", nginx.certificatePath(), "--resolve",
                            "localhost:" + std::to_string(nginx.httpsPort()) + ":127.0.0.1",
                            nginx.HttpsUrl("/a.txt", "localhost")});
  EXPECT_EQ(byName.exitCode, 0) << byName.err;
  const auto wrongName = Curl({"--cacert", nginx.certificatePath(), "--resolve",
                               "other.test:" + std::to_string(nginx.httpsPort()) + ":127.0.0.1",
                               nginx.HttpsUrl("/a.txt", "other.test")});
  EXPECT_EQ(wrongName.exitCode, 60);
  const auto untrusted = Curl({nginx.HttpsUrl("/a.txt")});
  EXPECT_EQ(untrusted.exitCode, 60);
}

TEST(NginxServer, RedirectsAndNotFoundWithABody) {
  vkqx_test::NginxOptions o;
  o.redirects = {{"/moved", 301, "/new.txt"}, {"/elsewhere", 302, "http://127.0.0.1:9/x"}};
  o.notFoundBody = "nothing here\n";
  NginxServer nginx(o);
  ASSERT_TRUE(nginx.Start());
  nginx.WriteFile("new.txt", "new\n");

  const auto moved = vkqx_test::RawHttpExchange("127.0.0.1", nginx.port(), vkqx_test::HttpGetRequest("/moved"));
  EXPECT_EQ(moved.received.rfind("HTTP/1.1 301", 0), 0u) << moved.received;
  EXPECT_NE(moved.received.find("/new.txt\r\n"), std::string::npos) << moved.received;
  const auto found = vkqx_test::RawHttpExchange("127.0.0.1", nginx.port(), vkqx_test::HttpGetRequest("/elsewhere"));
  EXPECT_EQ(found.received.rfind("HTTP/1.1 302", 0), 0u);
  EXPECT_NE(found.received.find("Location: http://127.0.0.1:9/x\r\n"), std::string::npos);
  const auto followed = Curl({"--location", nginx.Url("/moved")});
  EXPECT_EQ(followed.out, "new\n200");
  const auto missing = vkqx_test::RawHttpExchange("127.0.0.1", nginx.port(), vkqx_test::HttpGetRequest("/none"));
  EXPECT_EQ(missing.received.rfind("HTTP/1.1 404", 0), 0u);
  EXPECT_EQ(missing.Body(), "nothing here\n");
}

TEST(NginxServer, NoRangesAnswersARangeRequestWithTheWholeFile) {
  vkqx_test::NginxOptions o;
  o.noRanges = true;
  o.limitRate = "10m";
  NginxServer nginx(o);
  ASSERT_TRUE(nginx.Start());
  nginx.WriteFile("f", Pattern(500));
  const auto r = vkqx_test::RawHttpExchange("127.0.0.1", nginx.port(), vkqx_test::HttpGetRequest("/f", "bytes=0-9"));
  EXPECT_EQ(r.received.rfind("HTTP/1.1 200", 0), 0u);
  EXPECT_EQ(r.Body(), Pattern(500));
}

TEST(DnsmasqServer, AnswersOnlyFromTheTestsRecords) {
  vkqx_test::DnsmasqRecords records;
  records.addresses = {{"two.test", "192.0.2.1"}, {"two.test", "192.0.2.2"}};
  records.aliases = {{"alias.test", "two.test"}};
  records.withoutAddresses = {"none.test"};
  vkqx_test::DnsmasqServer dns(records);
  ASSERT_TRUE(dns.Start());
  int answers = -1;
  EXPECT_EQ(vkqx_test::ProbeDns(dns.port(), "two.test", &answers), 0);
  EXPECT_EQ(answers, 2);
  EXPECT_EQ(vkqx_test::ProbeDns(dns.port(), "alias.test", &answers), 0);
  EXPECT_EQ(answers, 3);  // the alias and both addresses
  EXPECT_EQ(vkqx_test::ProbeDns(dns.port(), "none.test", &answers), 0);
  EXPECT_EQ(answers, 0);
  EXPECT_EQ(vkqx_test::ProbeDns(dns.port(), "unknown.test"), 3);  // NXDOMAIN
  // Nothing outside the zone is forwarded anywhere.
  EXPECT_NE(vkqx_test::ProbeDns(dns.port(), "debian.org"), 0);
}

}  // namespace
