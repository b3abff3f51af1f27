// labels: threaded
#include "tests/support/FaultServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/support/RawHttp.h"
#include "tests/support/ServerProcess.h"

namespace {

using vkqx_test::FaultServer;
using vkqx_test::HttpFault;
using vkqx_test::RawHttpExchange;

std::string Body() {
  std::string s(1000, '\0');
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>(i % 251);
  return s;
}

vkqx_test::RawHttpResult Get(const FaultServer& s, const std::string& range = "", int timeoutMs = 2000) {
  return RawHttpExchange("127.0.0.1", s.port(), vkqx_test::HttpGetRequest("/f", range), timeoutMs);
}

TEST(FaultServer, DropsTheFirstRequestAtByteNThenServesCorrectly) {
  FaultServer s;
  ASSERT_TRUE(s.StartHttp(Body(), {HttpFault::CloseAfter(100), HttpFault::Serve()}));
  const auto first = Get(s, "bytes=0-999");
  EXPECT_TRUE(first.closedByServer);
  EXPECT_EQ(first.received.rfind("HTTP/1.1 206", 0), 0u);
  EXPECT_NE(first.received.find("Content-Length: 1000\r\n"), std::string::npos);
  EXPECT_EQ(first.Body(), Body().substr(0, 100));

  const auto resumed = Get(s, "bytes=100-");
  EXPECT_NE(resumed.received.find("Content-Range: bytes 100-999/1000\r\n"), std::string::npos);
  EXPECT_EQ(resumed.Body(), Body().substr(100));
  const auto whole = Get(s);
  EXPECT_EQ(whole.received.rfind("HTTP/1.1 200", 0), 0u);
  EXPECT_EQ(whole.Body(), Body());
  const auto unsatisfiable = Get(s, "bytes=5000-");
  EXPECT_EQ(unsatisfiable.received.rfind("HTTP/1.1 416", 0), 0u);

  const auto requests = s.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0].requestLine, "GET /f HTTP/1.1");
  EXPECT_EQ(requests[0].range, "bytes=0-999");
  EXPECT_EQ(requests[1].range, "bytes=100-");
}

TEST(FaultServer, MisbehavesAsScripted) {
  FaultServer s;
  ASSERT_TRUE(s.StartHttp(Body(), {HttpFault::NeverAnswer(), HttpFault::StallAfter(10),
                                   HttpFault::WrongLength(50), HttpFault::IgnoreRange()}));
  const auto silent = Get(s, "", 300);
  EXPECT_TRUE(silent.connected);
  EXPECT_FALSE(silent.closedByServer);
  EXPECT_TRUE(silent.received.empty());

  const auto stalled = Get(s, "bytes=0-99", 300);
  EXPECT_FALSE(stalled.closedByServer);
  EXPECT_EQ(stalled.Body(), Body().substr(0, 10));

  const auto wrong = Get(s);
  EXPECT_TRUE(wrong.closedByServer);
  EXPECT_NE(wrong.received.find("Content-Length: 1050\r\n"), std::string::npos);
  EXPECT_EQ(wrong.Body(), Body());

  const auto ignored = Get(s, "bytes=10-19");
  EXPECT_EQ(ignored.received.rfind("HTTP/1.1 200", 0), 0u);
  EXPECT_EQ(ignored.Body(), Body());
  EXPECT_EQ(s.Connections(), 4u);
}

TEST(FaultServer, StopEndsConnectionsItIsHolding) {
  FaultServer s;
  ASSERT_TRUE(s.StartHttp(Body(), {HttpFault::NeverAnswer()}));
  std::thread client([&] { Get(s, "", 5000); });
  while (s.Connections() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const auto t0 = std::chrono::steady_clock::now();
  s.Stop();
  client.join();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
}

TEST(FaultServer, ScriptText) {
  struct Case {
    const char* text;
    bool ok;
    size_t steps;
  } cases[] = {
      {"serve", true, 1},
      {"close:1000,serve", true, 2},
      {"never,stall:0,wronglen:-5,ignorerange", true, 4},
      {"", false, 0},
      {"close", false, 0},
      {"close:-1", false, 0},
      {"close:12x", false, 0},
      {"serve:1", false, 0},
      {"explode", false, 0},
  };
  for (const Case& c : cases) {
    std::vector<HttpFault> script;
    EXPECT_EQ(vkqx_test::ParseHttpFaultScript(c.text, &script), c.ok) << c.text;
    EXPECT_EQ(script.size(), c.steps) << c.text;
  }
  std::vector<HttpFault> script;
  ASSERT_TRUE(vkqx_test::ParseHttpFaultScript("wronglen:-5", &script));
  EXPECT_EQ(script[0].kind, HttpFault::Kind::kWrongLength);
  EXPECT_EQ(script[0].lengthDelta, -5);
}

TEST(FaultServerProgram, ServesItsScriptFromAProcessOfItsOwn) {
  vkqx_test::ServerProcess p("fixture_fault_server");
  const std::string portFile = p.logDir() + "/port";
  ASSERT_TRUE(p.Start(vkqx_test::BuildDir() + "/tests/fixture_fault_server",
                      {"--body-size", "1000", "--script", "close:10,serve", "--port-file", portFile}));
  ASSERT_TRUE(p.WaitFor([&] { return !vkqx_test::ReadFileText(portFile).empty(); })) << p.Logs();
  const uint16_t port = static_cast<uint16_t>(std::stoi(vkqx_test::ReadFileText(portFile)));
  const auto cut = RawHttpExchange("127.0.0.1", port, vkqx_test::HttpGetRequest("/f", "bytes=0-99"));
  EXPECT_EQ(cut.Body(), Body().substr(0, 10));
  const auto served = RawHttpExchange("127.0.0.1", port, vkqx_test::HttpGetRequest("/f", "bytes=900-"));
  EXPECT_EQ(served.Body(), Body().substr(900));
  const int status = p.Stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
