// labels: threaded
// The command ladder for real: curl on the command stack, nginx and our fault server as the
// servers, dnsmasq as the resolver of the re-resolution, the application's 500 ms housekeeping.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "commonlib/http/DNSThread.h"
#include "commonlib/http/ErrorType.h"
#include "commonlib/http/HttpCommand.h"
#include "commonlib/http/HttpMgr.h"
#include "platform/format.h"
#include "tests/commonlib/http/HttpTestSupport.h"
#include "tests/support/DnsTestMessages.h"
#include "tests/support/DnsmasqServer.h"
#include "tests/support/FaultServer.h"
#include "tests/support/FreePort.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ServerProcess.h"

namespace {

using http_test::PumpUntil;

struct Completion {
  int calls = 0;
  std::string body;
  HttpOutcome outcome{-1, -1};
};

void OnCompletion(void* userData, const std::string& body, int type, int code) {
  auto* completion = static_cast<Completion*>(userData);
  ++completion->calls;
  completion->body = body;
  completion->outcome = {type, code};
}

// A command that notes each attempt: when it started, where it was pinned, how it ended.
class RecordingCommand : public CHttpCommand {
 public:
  struct Attempt {
    uint64_t startMs = 0;
    uint64_t endMs = 0;
    std::string pin;
    std::wstring url;
    HttpOutcome outcome{-1, -1};
  };

  HttpOutcome Start() override {
    if (started) return CHttpCommand::Start();
    Attempt attempt;
    attempt.startMs = platform::GetTickCount64();
    const HttpOutcome result = CHttpCommand::Start();
    attempt.pin = connectTo.empty() ? "" : connectTo.front();
    attempt.url = GetUrl();
    attempts.push_back(attempt);
    return result;
  }
  void Done(int type, int code) override {
    if (!attempts.empty()) {
      attempts.back().endMs = platform::GetTickCount64();
      attempts.back().outcome = {type, code};
    }
    CHttpCommand::Done(type, code);
  }

  std::vector<Attempt> attempts;
};

// A request that only holds a slot of the command manager.
class SlotHolder : public CHttpBase {
 public:
  SlotHolder() : CHttpBase(nullptr, GetCommandHttpMgr()) {}
  void Done(int, int) override {}
};

// A resolver whose answer (127.0.0.2) waits until the test releases it: until then the test
// knows no answer can have reached the main thread, and afterwards the answer waits in the
// main-thread queue for as long as the test does not run it.
class HeldResolver {
 public:
  bool Start() {
    const bool started = server.StartDns([this](const std::vector<uint8_t>& query) {
      for (int i = 0; i < 1000 && !released; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      return std::vector<vkqx_test::UdpReply>{{vkqx_test::DnsAnswer(query, {"127.0.0.2"}), 0}};
    });
    if (started) CDNSThread::SetServers({server.address() + ":" + std::to_string(server.port())});
    return started;
  }
  // Lets the answer go and waits, without running the main thread's tasks, until the command's
  // resolver has posted it.
  bool ReleaseAndWait(CHttpCommand& command) {
    released = true;
    for (int i = 0; i < 1000 && command.dnsThread.IsRunning(); ++i) platform::Sleep(10);
    return !command.dnsThread.IsRunning();
  }

 private:
  std::atomic<bool> released{false};
  vkqx_test::FaultServer server;
};

class HttpCommandTest : public ::testing::Test {
 protected:
  void TearDown() override { CDNSThread::SetServers({}); }

  // Starts dnsmasq answering for `zone` with these name/address records and makes it the
  // resolver of every command; null if it did not start.
  static std::unique_ptr<vkqx_test::DnsmasqServer> StartResolver(
      const std::string& zone, std::vector<std::pair<std::string, std::string>> addresses) {
    vkqx_test::DnsmasqRecords records;
    records.zone = zone;
    records.addresses = std::move(addresses);
    auto dns = std::make_unique<vkqx_test::DnsmasqServer>(records);
    if (!dns->Start()) return nullptr;
    CDNSThread::SetServers({dns->Resolver()});
    return dns;
  }

  bool WaitFor(const Completion& completion, uint32_t timeoutMs = 30000) {
    return PumpUntil([&] { return completion.calls > 0; }, timeoutMs);
  }
  static void ExpectRetryDelays(const RecordingCommand& command) {
    for (size_t i = 1; i < command.attempts.size(); ++i) {
      EXPECT_GE(command.attempts[i].startMs, command.attempts[i - 1].endMs + 500) << "attempt " << i;
    }
  }

  vkqx_test::TraceCapture trace;
  http_test::CommandStackScope stack;
};

std::string PortText(uint16_t port) { return std::to_string(port); }

TEST_F(HttpCommandTest, RefusingServerGivesThreePlusTwoPlusTwoAttemptsThenConnectError) {
  const uint16_t port = vkqx_test::FreePort(vkqx_test::PortKind::kTcp, {"127.0.0.1", "127.0.0.2", "127.0.0.3"});
  ASSERT_NE(0, port);
  const auto dns = StartResolver("localhost", {{"localhost", "127.0.0.2"}, {"localhost", "127.0.0.3"}});
  ASSERT_NE(nullptr, dns);

  const std::wstring url = L"http://localhost:" + platform::Utf8ToWide(PortText(port)) + L"/vkinstall.txt";
  RecordingCommand command;
  Completion completion;
  ASSERT_TRUE(command.Get(url, &completion, &OnCompletion));
  ASSERT_TRUE(WaitFor(completion));

  EXPECT_EQ(1, completion.calls);
  EXPECT_EQ(HttpOutcome(5, 7), completion.outcome);
  EXPECT_EQ("", completion.body);
  const std::string pin2 = "localhost:" + PortText(port) + ":127.0.0.2:" + PortText(port);
  const std::string pin3 = "localhost:" + PortText(port) + ":127.0.0.3:" + PortText(port);
  const std::vector<std::string> expectedPins = {"", "", "", pin2, pin2, pin3, pin3};
  ASSERT_EQ(expectedPins.size(), command.attempts.size()) << trace.Dump();
  for (size_t i = 0; i < expectedPins.size(); ++i) {
    EXPECT_EQ(expectedPins[i], command.attempts[i].pin) << i;
    EXPECT_EQ(HttpOutcome(5, 7), command.attempts[i].outcome) << i;
  }
  ExpectRetryDelays(command);
  // Two retries on the URL as it came, one on each address.
  EXPECT_EQ(4u, trace.Count(L"CHttpCommand::Done() 重试.... type:5 code:7  url:" + url + L" "));
  EXPECT_EQ(1u, trace.Count(L"CHttpDownloadFileFile::Done() 开始重试DNS解析.... type:5 code:7  url:" + url + L" "));
  EXPECT_EQ(1u, trace.Count(L"cmd_dns_result_callback 解析成功 code:0, domain:localhost, ip_list:127.0.0.2;127.0.0.3, id:0x"));
  EXPECT_EQ(1u, trace.Count(L"CHttpDownloadFile::Done() 重试DNS解析到的ip列表.... type:5 code:7  url:" + url + L" "));
  EXPECT_EQ(1u, trace.Count(L"CHttpCommand::Done() 重试ip列表.... type:5 code:7  url:" + url));
  EXPECT_EQ(2u, trace.Count(L"CHttpCommand setip " + url + L" 127.0.0.2"));
  // By the final step the last address has been used up, so the line names no URL.
  EXPECT_EQ(1u, trace.Count(L"CHttpCommand::Done() type:5 code:7  url: "));
  EXPECT_FALSE(command.started);
  EXPECT_FALSE(GetCommandHttpMgr()->Contains(&command));
}

TEST_F(HttpCommandTest, NotFoundResolvesAtOnceTriesEachAddressOnceAndEndsWithTheStatus) {
  vkqx_test::NginxOptions options;
  options.addresses = {"127.0.0.1", "127.0.0.2", "127.0.0.3"};
  options.notFoundBody = "<html>no descriptor here</html>\n";
  vkqx_test::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  const auto dns = StartResolver("localhost", {{"localhost", "127.0.0.2"}, {"localhost", "127.0.0.3"}});
  ASSERT_NE(nullptr, dns);

  RecordingCommand command;
  Completion completion;
  ASSERT_TRUE(command.Get(platform::Utf8ToWide(nginx.Url("/missing.txt", "localhost")), &completion, &OnCompletion));
  ASSERT_TRUE(WaitFor(completion));

  EXPECT_EQ(HttpOutcome(4, 404), completion.outcome);
  EXPECT_EQ("", completion.body);
  ASSERT_EQ(3u, command.attempts.size()) << trace.Dump();
  EXPECT_EQ("", command.attempts[0].pin);
  const std::string hostPort = "localhost:" + PortText(nginx.port());
  EXPECT_EQ(hostPort + ":127.0.0.2:" + PortText(nginx.port()), command.attempts[1].pin);
  EXPECT_EQ(hostPort + ":127.0.0.3:" + PortText(nginx.port()), command.attempts[2].pin);
  EXPECT_FALSE(trace.Has(L"CHttpCommand::Done() 重试...."));
  ExpectRetryDelays(command);
  ASSERT_TRUE(nginx.WaitForAccessEntries(3));
  const auto log = nginx.AccessLog();
  EXPECT_EQ("127.0.0.2", log[1].serverAddress);
  EXPECT_EQ("127.0.0.3", log[2].serverAddress);
  for (const auto& entry : log) EXPECT_EQ(404, entry.status);
}

TEST_F(HttpCommandTest, LiteralIpv4HostIsNeverResolvedAgain) {
  const uint16_t port = vkqx_test::FreeTcpPort();
  RecordingCommand command;
  Completion completion;
  ASSERT_TRUE(command.Get(L"http://127.0.0.1:" + platform::Utf8ToWide(PortText(port)) + L"/x", &completion,
                          &OnCompletion));
  ASSERT_TRUE(WaitFor(completion));
  EXPECT_EQ(HttpOutcome(5, 7), completion.outcome);
  EXPECT_EQ(3u, command.attempts.size());
  EXPECT_FALSE(trace.Has(L"开始重试DNS解析"));
  ExpectRetryDelays(command);
}

TEST_F(HttpCommandTest, UnresolvableNameIsResolvedAgainAndFetchedFromThePinnedAddress) {
  vkqx_test::NginxOptions options;
  options.addresses = {"127.0.0.2"};
  vkqx_test::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  nginx.WriteFile("vkinstall.txt", "[Install]\r\nversion=1\r\n");
  // The leading hyphen makes the system's resolver refuse the name without asking any server, so
  // curl fails with 6 and no query leaves the machine; the test's own resolver knows the name.
  const std::string host = "-svc.vkqx.invalid";
  const auto dns = StartResolver("invalid", {{host, "127.0.0.2"}});
  ASSERT_NE(nullptr, dns);

  RecordingCommand command;
  Completion completion;
  const std::wstring url = platform::Utf8ToWide("http://" + host + ":" + PortText(nginx.port()) + "/vkinstall.txt");
  ASSERT_TRUE(command.Get(url, &completion, &OnCompletion));
  ASSERT_TRUE(WaitFor(completion));

  EXPECT_EQ(HttpOutcome(0, 0), completion.outcome) << trace.Dump();
  EXPECT_EQ("[Install]\r\nversion=1\r\n", completion.body);
  ASSERT_EQ(4u, command.attempts.size());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(HttpOutcome(5, 6), command.attempts[i].outcome) << i;
  EXPECT_EQ(host + ":" + PortText(nginx.port()) + ":127.0.0.2:" + PortText(nginx.port()), command.attempts[3].pin);
  ExpectRetryDelays(command);
  ASSERT_TRUE(nginx.WaitForAccessEntries(1));
  ASSERT_EQ(1u, nginx.AccessLog().size());
  EXPECT_EQ("127.0.0.2", nginx.AccessLog()[0].serverAddress);
  EXPECT_EQ(200, nginx.AccessLog()[0].status);
}

TEST_F(HttpCommandTest, SpareHttpsUrlGoesFirstAndFailsOverAfterTwoAttempts) {
  vkqx_test::NginxOptions options;
  options.https = true;
  options.certificateNames = {"other.vkqx.test"};  // not the address the URL names
  vkqx_test::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  nginx.WriteFile("vkinstall.txt", "plain");

  // A command waiting for a slot takes a second URL.
  std::vector<std::unique_ptr<SlotHolder>> holders;
  for (int i = 0; i < 10; ++i) {
    holders.push_back(std::make_unique<SlotHolder>());
    GetCommandHttpMgr()->Add(holders.back().get());
  }
  RecordingCommand command;
  command.verifyHost = true;
  Completion completion;
  const std::wstring plainUrl = platform::Utf8ToWide(nginx.Url("/vkinstall.txt"));
  const std::wstring secureUrl = platform::Utf8ToWide(nginx.HttpsUrl("/vkinstall.txt"));
  ASSERT_TRUE(command.Get(plainUrl, &completion, &OnCompletion));
  ASSERT_TRUE(command.Get(secureUrl, &completion, &OnCompletion));
  EXPECT_FALSE(command.started);
  holders.front()->Stop();
  EXPECT_TRUE(command.started);
  ASSERT_TRUE(WaitFor(completion));

  EXPECT_EQ(HttpOutcome(0, 0), completion.outcome);
  EXPECT_EQ("plain", completion.body);
  ASSERT_EQ(3u, command.attempts.size());
  EXPECT_EQ(secureUrl, command.attempts[0].url);
  EXPECT_EQ(secureUrl, command.attempts[1].url);
  EXPECT_EQ(plainUrl, command.attempts[2].url);
  EXPECT_EQ(HttpOutcome(5, 60), command.attempts[0].outcome);  // the certificate names another host
  EXPECT_EQ(2u, trace.Count(L"ssl 验证失败:" + secureUrl));
  EXPECT_EQ(1u, trace.Count(L"连接失败，尝试使用备用地址:" + plainUrl));
  ExpectRetryDelays(command);
}

TEST_F(HttpCommandTest, HttpsWithHostVerificationSucceedsForAMatchingCertificate) {
  vkqx_test::NginxOptions options;
  options.https = true;
  vkqx_test::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  nginx.WriteFile("vkinstall.txt", "secure");
  CHttpCommand command;
  command.verifyHost = true;
  Completion completion;
  ASSERT_TRUE(command.Get(platform::Utf8ToWide(nginx.HttpsUrl("/vkinstall.txt", "localhost")), &completion,
                          &OnCompletion));
  ASSERT_TRUE(WaitFor(completion));
  EXPECT_EQ(HttpOutcome(0, 0), completion.outcome);
  EXPECT_EQ("secure", completion.body);
}

TEST_F(HttpCommandTest, ElevenCommandsKeepTenConnectionsOpen) {
  vkqx_test::FaultServer server;
  ASSERT_TRUE(server.StartHttp("", {vkqx_test::HttpFault::NeverAnswer()}));
  std::vector<std::unique_ptr<CHttpCommand>> commands;
  std::vector<Completion> completions(11);
  for (int i = 0; i < 11; ++i) {
    commands.push_back(std::make_unique<CHttpCommand>());
    ASSERT_TRUE(commands.back()->Get(platform::Utf8ToWide(server.Url("/c" + std::to_string(i))), &completions[i],
                                     &OnCompletion));
  }
  EXPECT_EQ(10, GetCommandHttpMgr()->runningCount);
  EXPECT_FALSE(commands[10]->started);
  ASSERT_TRUE(PumpUntil([&] { return server.Connections() >= 10; }, 5000));
  http_test::PumpFor(300);
  EXPECT_EQ(10u, server.Connections());

  commands[0]->Stop();
  EXPECT_TRUE(commands[10]->started);
  const auto eleventhArrived = [&] {
    const auto requests = server.Requests();
    return std::any_of(requests.begin(), requests.end(),
                       [](const vkqx_test::FaultRequest& r) { return r.requestLine == "GET /c10 HTTP/1.1"; });
  };
  EXPECT_TRUE(PumpUntil(eleventhArrived, 5000));
  EXPECT_EQ(11u, server.Connections());
  for (auto& c : commands) c->Stop();
  EXPECT_EQ(0, GetCommandHttpMgr()->runningCount);
  for (const Completion& c : completions) EXPECT_EQ(0, c.calls);  // a stopped command completes nothing
}

TEST_F(HttpCommandTest, AttemptTimeoutRetriesTheSameAddressInRealTime) {
  vkqx_test::FaultServer server;
  ASSERT_TRUE(server.StartHttp("", {vkqx_test::HttpFault::NeverAnswer()}));
  RecordingCommand command;
  command.timeoutMs = 1200;
  Completion completion;
  ASSERT_TRUE(command.Get(platform::Utf8ToWide(server.Url("/silent")), &completion, &OnCompletion));
  ASSERT_TRUE(WaitFor(completion, 20000));
  EXPECT_EQ(HttpOutcome(3, 3002), completion.outcome);
  ASSERT_EQ(3u, command.attempts.size());
  for (const auto& attempt : command.attempts) {
    EXPECT_EQ(HttpOutcome(3, 3002), attempt.outcome);
    EXPECT_GT(attempt.endMs - attempt.startMs, 1200u);
  }
  EXPECT_EQ(2u, trace.Count(L"CHttpCommand::Done() 重试.... type:3 code:3002"));
  EXPECT_EQ(3u, server.Connections());
}

TEST_F(HttpCommandTest, PostBodyAndFormSurviveTheRetryLadder) {
  vkqx_test::NginxOptions options;
  options.bodyStorePath = "/rece";
  vkqx_test::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  const uint16_t refusing = vkqx_test::FreeTcpPort();

  // A form post whose first URL refuses: after two attempts the spare URL gets the same parts.
  std::vector<std::unique_ptr<SlotHolder>> holders;
  for (int i = 0; i < 10; ++i) {
    holders.push_back(std::make_unique<SlotHolder>());
    GetCommandHttpMgr()->Add(holders.back().get());
  }
  RecordingCommand form;
  Completion formDone;
  form.AddFormField("sign", "5d41402abc4b2a76");
  form.AddFormField("data", "[{\"task\":1}]");
  ASSERT_TRUE(form.Post("", L"http://127.0.0.1:" + platform::Utf8ToWide(PortText(refusing)) + L"/rece", &OnCompletion,
                        &formDone));
  ASSERT_TRUE(form.Post("", platform::Utf8ToWide(nginx.Url("/rece")), &OnCompletion, &formDone));
  for (auto& h : holders) h->Stop();
  ASSERT_TRUE(WaitFor(formDone));
  EXPECT_EQ(HttpOutcome(0, 0), formDone.outcome);
  EXPECT_EQ("stored", formDone.body);
  EXPECT_EQ(3u, form.attempts.size());
  const std::string sent = nginx.StoredBodies();
  EXPECT_NE(std::string::npos, sent.find("name=\"sign\"\r\n\r\n5d41402abc4b2a76\r\n")) << sent;
  EXPECT_NE(std::string::npos, sent.find("name=\"data\"\r\n\r\n[{\"task\":1}]\r\n"));
  EXPECT_TRUE(form.formFields.empty());  // the final step ends the request, form and all

  // A plain body is sent as it is, bytes and all.
  const std::string raw("raw\0bytes\xff", 10);
  CHttpCommand plain;
  Completion plainDone;
  ASSERT_TRUE(plain.Post(raw, platform::Utf8ToWide(nginx.Url("/rece")), &OnCompletion, &plainDone));
  ASSERT_TRUE(WaitFor(plainDone));
  EXPECT_EQ(HttpOutcome(0, 0), plainDone.outcome);
  EXPECT_NE(std::string::npos, nginx.StoredBodies().find(raw));
}

TEST_F(HttpCommandTest, ResolverAnswerKeepsOnlyAddressesLongerThanSevenCharacters) {
  const uint16_t port = vkqx_test::FreeTcpPort();
  CHttpCommand command;
  Completion completion;
  // Waiting for a slot, so that nothing but the answer moves it.
  std::vector<std::unique_ptr<SlotHolder>> holders;
  for (int i = 0; i < 10; ++i) {
    holders.push_back(std::make_unique<SlotHolder>());
    GetCommandHttpMgr()->Add(holders.back().get());
  }
  ASSERT_TRUE(command.Get(L"http://localhost:" + platform::Utf8ToWide(PortText(port)) + L"/x", &completion,
                          &OnCompletion));
  CHttpCommand::OnResolverAnswer(0, command.ResolverId(), "localhost", "1.2.3.4;127.0.0.22;;10.0.0.1");
  EXPECT_EQ((std::vector<std::wstring>{L"127.0.0.22", L"10.0.0.1"}), command.ips);
  EXPECT_TRUE(command.ipListActive);
  EXPECT_TRUE(command.delayed);
  EXPECT_TRUE(GetCommandHttpMgr()->Contains(&command));
  EXPECT_TRUE(trace.Has(L"cmd_dns_result_callback 解析成功 code:0, domain:localhost, ip_list:1.2.3.4;127.0.0.22;;10.0.0.1"));

  CHttpCommand::OnResolverAnswer(-1, command.ResolverId(), "localhost", "");
  EXPECT_TRUE(trace.Has(L"cmd_dns_result_callback 失败 code:-1, domain:localhost ,id:0x"));
  EXPECT_TRUE(command.ips.empty());  // failed: the command ends with the outcome it had
  EXPECT_TRUE(PumpUntil([&] { return completion.calls == 1; }, 2000));
  for (auto& h : holders) h->Stop();
}

TEST_F(HttpCommandTest, ResolverAnswerForADestroyedCommandIsDropped) {
  const uint16_t port = vkqx_test::FreeTcpPort();
  HeldResolver dns;
  ASSERT_TRUE(dns.Start());

  auto command = std::make_unique<CHttpCommand>();
  command->maxRetries = 0;  // straight to the re-resolution
  Completion completion;
  ASSERT_TRUE(command->Get(L"http://localhost:" + platform::Utf8ToWide(PortText(port)) + L"/x", &completion,
                           &OnCompletion));
  ASSERT_TRUE(PumpUntil([&] { return trace.Has(L"开始重试DNS解析"); }, 10000));
  // The answer is posted while the main thread looks elsewhere; then the command goes away.
  ASSERT_TRUE(dns.ReleaseAndWait(*command));
  const void* id = command->ResolverId();
  command.reset();
  const auto idText = platform::StrFormat(L"%x", static_cast<uint32_t>(reinterpret_cast<uintptr_t>(id)));
  EXPECT_TRUE(PumpUntil([&] { return trace.Has(L"DNS回调失效"); }, 5000));
  EXPECT_EQ(1u, trace.Count(L"DNS回调失效 找不到相关任务 id:0x" + idText + L" localhost"));
  EXPECT_EQ(0, completion.calls);
}

TEST_F(HttpCommandTest, GetOnAStartedCommandIsRefusedAndLeavesItsUrls) {
  vkqx_test::FaultServer server;
  ASSERT_TRUE(server.StartHttp("", {vkqx_test::HttpFault::NeverAnswer()}));
  CHttpCommand command;
  Completion completion;
  ASSERT_TRUE(command.Get(platform::Utf8ToWide(server.Url("/a")), &completion, &OnCompletion));
  EXPECT_TRUE(command.started);
  EXPECT_FALSE(command.Get(L"http://127.0.0.1:1/b", &completion, &OnCompletion));
  EXPECT_EQ(1u, command.urls.size());
  EXPECT_FALSE(CHttpCommand().Get(L"ab", &completion, &OnCompletion));  // no URL at all
  command.Stop();
}

std::vector<std::unique_ptr<SlotHolder>> FillTheSlots() {
  std::vector<std::unique_ptr<SlotHolder>> holders;
  for (int i = 0; i < 10; ++i) {
    holders.push_back(std::make_unique<SlotHolder>());
    GetCommandHttpMgr()->Add(holders.back().get());
  }
  return holders;
}

TEST_F(HttpCommandTest, StackStopLeavesItsCommandsIdleHarmlessToDestroyAndReadyForTheNextStack) {
  vkqx_test::NginxServer nginx;
  ASSERT_TRUE(nginx.Start());
  nginx.WriteFile("vkinstall.txt", "[Install]\r\n");
  vkqx_test::FaultServer silent;
  ASSERT_TRUE(silent.StartHttp("", {vkqx_test::HttpFault::NeverAnswer()}));
  const std::string refusing = PortText(vkqx_test::FreeTcpPort());
  // A resolver that never answers keeps a command waiting for it while the stack stops.
  vkqx_test::FaultServer mute;
  ASSERT_TRUE(mute.StartDns([](const std::vector<uint8_t>&) { return std::vector<vkqx_test::UdpReply>(); }));
  const std::string muteResolver = mute.address() + ":" + PortText(mute.port());
  CDNSThread::SetServers({muteResolver, muteResolver, muteResolver, muteResolver});
  const std::wstring good = platform::Utf8ToWide(nginx.Url("/vkinstall.txt"));
  const std::wstring silentUrl = platform::Utf8ToWide(silent.Url("/x"));
  const std::wstring refusingUrl = platform::Utf8ToWide("http://127.0.0.1:" + refusing + "/x");

  std::vector<std::unique_ptr<SlotHolder>> holders;
  struct Case {
    const char* state;
    std::function<void(CHttpCommand&, Completion&)> enter;
    std::function<bool(const CHttpCommand&)> reached;
    size_t connections;  // new connections to the silent server to wait for
  };
  const Case cases[] = {
      {"never used", [](CHttpCommand&, Completion&) {}, [](const CHttpCommand&) { return true; }, 0},
      {"waiting for a slot",
       [&](CHttpCommand& c, Completion& done) {
         if (holders.empty()) holders = FillTheSlots();
         c.Get(good, &done, &OnCompletion);
       },
       [](const CHttpCommand& c) { return !c.started && c.manager != nullptr; }, 0},
      {"running", [&](CHttpCommand& c, Completion& done) { c.Get(silentUrl, &done, &OnCompletion); },
       [](const CHttpCommand& c) { return c.started; }, 2},
      {"waiting to retry", [&](CHttpCommand& c, Completion& done) { c.Get(refusingUrl, &done, &OnCompletion); },
       [](const CHttpCommand& c) { return c.delayed && !c.started; }, 0},
      {"waiting for the resolver",
       [&](CHttpCommand& c, Completion& done) {
         c.maxRetries = 0;
         c.Get(platform::Utf8ToWide("http://localhost:" + refusing + "/x"), &done, &OnCompletion);
       },
       [](const CHttpCommand& c) { return c.started && c.delayed; }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    // Two commands in the state: one is destroyed once the stack has stopped, the other is used
    // again on the next stack.
    auto gone = std::make_unique<CHttpCommand>();
    auto kept = std::make_unique<CHttpCommand>();
    Completion goneDone, keptDone;
    const size_t connections = silent.Connections() + c.connections;
    c.enter(*gone, goneDone);
    c.enter(*kept, keptDone);
    ASSERT_TRUE(PumpUntil([&] { return c.reached(*gone) && c.reached(*kept) && silent.Connections() >= connections; },
                          10000));

    CommandHttpStack().Stop();
    for (CHttpCommand* command : {gone.get(), kept.get()}) {
      EXPECT_FALSE(command->started);
      EXPECT_FALSE(command->delayed);
      EXPECT_TRUE(command->urls.empty());
    }
    gone.reset();
    holders.clear();
    CommandHttpStack().Start();

    Completion again;
    ASSERT_TRUE(kept->Get(good, &again, &OnCompletion));
    ASSERT_TRUE(WaitFor(again)) << trace.Dump();
    EXPECT_EQ(HttpOutcome(0, 0), again.outcome);
    EXPECT_EQ("[Install]\r\n", again.body);
    EXPECT_EQ(0, goneDone.calls);  // a stack stop tells no owner anything
    EXPECT_EQ(0, keptDone.calls);
  }
}

TEST_F(HttpCommandTest, EndlessBodyEndsAtTheBoundWithAWriteError) {
  vkqx_test::FaultServer server;
  ASSERT_TRUE(server.StartHttp("", {vkqx_test::HttpFault::EndlessBody()}));
  for (const size_t bound : {size_t{64 * 1024}, CHttpCommand::kDefaultMaxBodyBytes}) {
    SCOPED_TRACE(bound);
    trace.Clear();
    CHttpCommand command;
    command.maxBodyBytes = bound;
    Completion completion;
    ASSERT_TRUE(command.Get(platform::Utf8ToWide(server.Url("/vkinstall.txt")), &completion, &OnCompletion));
    ASSERT_TRUE(WaitFor(completion));
    // The same server would send it again: no retry on it, the request ends with the bound's code.
    EXPECT_EQ(HttpOutcome(3, kUserBodyTooLarge), completion.outcome);
    EXPECT_LE(completion.body.size(), bound);
    EXPECT_EQ(1u, trace.Count(L"CCurlHttp::OnRecieveBody  Write file error 3004"));
    EXPECT_FALSE(trace.Has(L"重试...."));
  }
}

TEST_F(HttpCommandTest, ResolverAnswerNeverReachesALaterRequest) {
  vkqx_test::NginxServer nginx;
  ASSERT_TRUE(nginx.Start());
  nginx.WriteFile("vkinstall.txt", "fresh");
  const std::string refusing = PortText(vkqx_test::FreeTcpPort());
  const std::wstring later = platform::Utf8ToWide(nginx.Url("/vkinstall.txt", "localhost"));

  struct Case {
    const char* how;
    bool destroy;  // destroyed and another command built at its address, or stopped and used again
  };
  for (const Case& c : {Case{"another command at the same address", true}, Case{"stopped and used again", false}}) {
    SCOPED_TRACE(c.how);
    trace.Clear();
    HeldResolver dns;  // the stale answer names 127.0.0.2, where nothing listens
    ASSERT_TRUE(dns.Start());
    std::optional<RecordingCommand> slot(std::in_place);
    const RecordingCommand* const address = &*slot;
    Completion first;
    slot->maxRetries = 0;  // straight to the re-resolution
    ASSERT_TRUE(slot->Get(platform::Utf8ToWide("http://localhost:" + refusing + "/x"), &first, &OnCompletion));
    ASSERT_TRUE(PumpUntil([&] { return trace.Has(L"开始重试DNS解析"); }, 10000));
    ASSERT_TRUE(dns.ReleaseAndWait(*slot));
    if (c.destroy) {
      slot.reset();
      slot.emplace();
      ASSERT_EQ(address, &*slot);
    } else {
      slot->Stop();
    }

    Completion second;
    ASSERT_TRUE(slot->Get(later, &second, &OnCompletion));
    ASSERT_TRUE(WaitFor(second));
    EXPECT_EQ(HttpOutcome(0, 0), second.outcome) << trace.Dump();
    EXPECT_EQ("fresh", second.body);
    EXPECT_EQ(1u, trace.Count(L"DNS回调失效 找不到相关任务"));
    EXPECT_FALSE(trace.Has(L"CHttpCommand setip"));
    EXPECT_EQ(0, first.calls);
    slot.reset();
  }
}

TEST_F(HttpCommandTest, StopInMidLadderStartsTheNextRequestAfresh) {
  vkqx_test::NginxServer nginx;
  ASSERT_TRUE(nginx.Start());
  nginx.WriteFile("vkinstall.txt", "B");
  vkqx_test::FaultServer silent;
  ASSERT_TRUE(silent.StartHttp("", {vkqx_test::HttpFault::NeverAnswer()}, "127.0.0.2"));
  const std::string host = "-svc.vkqx.invalid";  // unknown to the system's resolver, see above
  const auto dns = StartResolver("invalid", {{host, "127.0.0.2"}});
  ASSERT_NE(nullptr, dns);
  const std::wstring b = platform::Utf8ToWide(nginx.Url("/vkinstall.txt"));

  struct Case {
    const char* stage;
    std::string url;
    std::function<bool(const RecordingCommand&)> reached;
  };
  const Case cases[] = {
      {"waiting to retry its URL", "http://127.0.0.1:" + PortText(vkqx_test::FreeTcpPort()) + "/a",
       [](const RecordingCommand& c) { return c.delayed && !c.started; }},
      {"pinned to a resolved address", "http://" + host + ":" + PortText(silent.port()) + "/a",
       [&](const RecordingCommand& c) { return !c.connectTo.empty() && silent.Connections() > 0; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stage);
    RecordingCommand command;
    Completion a, done;
    ASSERT_TRUE(command.Get(platform::Utf8ToWide(c.url), &a, &OnCompletion));
    ASSERT_TRUE(PumpUntil([&] { return c.reached(command); }, 15000)) << trace.Dump();
    command.Stop();
    const size_t before = command.attempts.size();

    ASSERT_TRUE(command.Get(b, &done, &OnCompletion));
    ASSERT_TRUE(WaitFor(done));
    EXPECT_EQ(HttpOutcome(0, 0), done.outcome);
    EXPECT_EQ("B", done.body);
    ASSERT_EQ(before + 1, command.attempts.size());
    EXPECT_EQ(b, command.attempts.back().url);
    EXPECT_EQ("", command.attempts.back().pin);
    EXPECT_EQ(0, a.calls);
  }
}

// A command whose easy handle curl refuses to take: it already belongs to another multi handle.
class RefusedCommand : public CHttpCommand {
 public:
  explicit RefusedCommand(CURLM* other) : m_other(other) {}
  bool Prepare() override {
    CHttpCommand::Prepare();
    if (transfer && transfer->easy != nullptr) curl_multi_add_handle(m_other, transfer->easy);
    return true;
  }

 private:
  CURLM* m_other;
};

TEST_F(HttpCommandTest, TransferCurlRefusesEndsThroughTheAttemptTimeout) {
  CURLM* const other = curl_multi_init();
  {
    RefusedCommand command(other);
    command.timeoutMs = 1500;
    command.maxRetries = 0;
    Completion completion;
    ASSERT_TRUE(command.Get(L"http://127.0.0.1:1/x", &completion, &OnCompletion));
    ASSERT_TRUE(WaitFor(completion, 15000));
    EXPECT_EQ(HttpOutcome(3, 3002), completion.outcome);
    EXPECT_EQ("", completion.body);
  }
  CommandHttpStack().Stop();  // every easy handle is freed before the other multi handle goes
  curl_multi_cleanup(other);
}

TEST_F(HttpCommandTest, TrickledErrorHeadersCannotHoldAnAttemptPastItsBound) {
  vkqx_test::FaultServer server;
  ASSERT_TRUE(server.StartHttp("", {vkqx_test::HttpFault::TrickleHeaders(200)}));
  RecordingCommand command;
  command.timeoutMs = 1000;  // each trickled line comes well within it
  command.maxAttemptMs = 3000;
  command.maxRetries = 0;
  Completion completion;
  ASSERT_TRUE(command.Get(platform::Utf8ToWide(server.Url("/vkinstall.txt")), &completion, &OnCompletion));
  ASSERT_TRUE(WaitFor(completion, 30000));
  EXPECT_EQ(HttpOutcome(3, 3002), completion.outcome);
  ASSERT_EQ(1u, command.attempts.size());
  EXPECT_GT(command.attempts[0].endMs - command.attempts[0].startMs, 3000u);
  EXPECT_GT(trace.Count(L"CCurlHttp::OnRecieveHeader HTTP error code:0 httpcode:503"), 0u);
}

TEST_F(HttpCommandTest, RawPostFollowsTemporaryAndPermanentRedirects) {
  vkqx_test::NginxOptions options;
  options.bodyStorePath = "/rece";
  options.redirects = {{"/old307", 307, "/rece"}, {"/old308", 308, "/rece"}};
  vkqx_test::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  for (const std::string status : {"307", "308"}) {
    SCOPED_TRACE(status);
    const std::string raw = std::string("raw\0", 4) + status + "\xff";
    RecordingCommand command;
    Completion completion;
    ASSERT_TRUE(command.Post(raw, platform::Utf8ToWide(nginx.Url("/old" + status)), &OnCompletion, &completion));
    ASSERT_TRUE(WaitFor(completion));
    EXPECT_EQ(HttpOutcome(0, 0), completion.outcome) << trace.Dump();
    EXPECT_EQ("stored", completion.body);
    EXPECT_EQ(1u, command.attempts.size());  // a body that cannot be sent again fails and is retried
    EXPECT_NE(std::string::npos, nginx.StoredBodies().find(raw));
  }
}

TEST_F(HttpCommandTest, PinCoversTheOriginalHostOnlyAndARedirectDropsItForTheNextAttempt) {
  const std::string host = "-svc.vkqx.invalid";  // unknown to the system's resolver, see above
  const auto dns = StartResolver("invalid", {{host, "127.0.0.2"}});
  ASSERT_NE(nullptr, dns);
  struct Case {
    const char* target;
    vkqx_test::HttpFault fault;
    HttpOutcome outcome;
    size_t attempts;
  };
  // The pinned attempt is sent on to another host, which serves the descriptor, or cuts it short:
  // then the same address is tried once more, without the pin the redirect dropped.
  for (const Case& c : {Case{"serves", vkqx_test::HttpFault::Serve(), {0, 0}, 4},
                        Case{"cuts the body", vkqx_test::HttpFault::CloseAfter(0), {5, 6}, 5}}) {
    SCOPED_TRACE(c.target);
    trace.Clear();
    vkqx_test::FaultServer other;
    ASSERT_TRUE(other.StartHttp("descriptor", {c.fault}));
    vkqx_test::NginxOptions options;
    options.addresses = {"127.0.0.2"};
    options.redirects = {{"/vkinstall.txt", 302, other.Url("/vkinstall.txt")}};
    vkqx_test::NginxServer nginx(options);
    ASSERT_TRUE(nginx.Start());

    RecordingCommand command;
    Completion completion;
    const std::string port = PortText(nginx.port());
    ASSERT_TRUE(command.Get(platform::Utf8ToWide("http://" + host + ":" + port + "/vkinstall.txt"), &completion,
                            &OnCompletion));
    ASSERT_TRUE(WaitFor(completion));
    EXPECT_EQ(c.outcome, completion.outcome) << trace.Dump();
    ASSERT_EQ(c.attempts, command.attempts.size());
    EXPECT_EQ(host + ":" + port + ":127.0.0.2:" + port, command.attempts[3].pin);
    if (c.attempts > 4) {
      EXPECT_EQ("", command.attempts[4].pin);
    }
    EXPECT_EQ(c.outcome == HttpOutcome(0, 0) ? "descriptor" : "", completion.body);
    ASSERT_EQ(1u, other.Requests().size());
    EXPECT_EQ("GET /vkinstall.txt HTTP/1.1", other.Requests()[0].requestLine);
  }
}

}  // namespace
