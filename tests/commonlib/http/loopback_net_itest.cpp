// labels: threaded
// The loopback-only net: with VKQX_LOOPBACK_ONLY=1 the DNS client and the HTTP transfers refuse
// every address outside 127.0.0.0/8 with a log line (literal, pinned, redirected or a name that
// would need the system resolver), while loopback servers still work.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "commonlib/core/BufferStream.h"
#include "commonlib/http/CurlHttp.h"
#include "commonlib/http/CurlListener.h"
#include "commonlib/http/CurlWorkshop.h"
#include "commonlib/http/HttpBase.h"
#include "commonlib/nettool/DnsClient.h"
#include "tests/commonlib/http/HttpTestSupport.h"
#include "tests/support/DnsmasqServer.h"
#include "tests/support/NginxServer.h"

namespace {

using http_test::PumpUntil;

class DoneListener : public CurlListener {
 public:
  void OnTransferDone(const CRefPtr<CCurlBase>& transfer, int code) override {
    done = true;
    curlCode = code;
    httpCode = static_cast<CCurlHttp*>(transfer.get())->httpCode;
  }
  void OnRecvProgress(const CRefPtr<CCurlBase>&, unsigned int) override {}
  void OnSendProgress(const CRefPtr<CCurlBase>&, unsigned int) override {}
  void OnHeaders(const CRefPtr<CCurlBase>&, int, const ProtoValue&) override {}
  void OnTransferRemoved(const CRefPtr<CCurlBase>&, int) override {}
  void OnTransferAdded(const CRefPtr<CCurlBase>&, int) override {}
  bool done = false;
  int curlCode = -1;
  int httpCode = 0;
};

class Probe : public CHttpBase {
 public:
  Probe(CCurlWorkshop* workshop, CurlListener* listener, const std::string& target)
      : CHttpBase(workshop, nullptr), m_listener(listener) {
    url = platform::Utf8ToWide(target);
  }
  HttpOutcome Start() override {
    ReleaseTransfer();
    transfer = CRefPtr<CCurlHttp>(new CCurlHttp(workshop, m_listener));
    transfer->sink = std::make_unique<OBufferStream>();
    return CHttpBase::Start();
  }
  void Done(int, int) override {}

 private:
  CurlListener* m_listener;
};

class LoopbackNetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("VKQX_LOOPBACK_ONLY", "1", 1);
    InitMainThreadDispatcher();
    workshop.Init();
    workshop.StartThread();
  }
  void TearDown() override {
    workshop.DestroyThread(platform::INFINITE);
    workshop.UnInit();
  }
  // Runs one transfer to its end: (curl code, HTTP status).
  std::pair<int, int> Fetch(const std::string& target, const std::wstring& pin = L"", uint16_t pinPort = 0) {
    DoneListener listener;
    Probe probe(&workshop, &listener, target);
    if (!pin.empty()) probe.SetIP(pin, pinPort);
    probe.Start();
    EXPECT_TRUE(PumpUntil([&] { return listener.done; }, 20000)) << target;
    probe.ReleaseTransfer();
    return {listener.curlCode, listener.httpCode};
  }

  vkqx_test::TraceCapture trace;
  CCurlWorkshop workshop;
};

TEST_F(LoopbackNetTest, TransfersReachLoopbackOnly) {
  vkqx_test::NginxOptions options;
  options.redirects = {{"/away", 302, "http://192.0.2.1:9/file"}};
  vkqx_test::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  nginx.WriteFile("file", "payload");
  const std::string port = std::to_string(nginx.port());

  EXPECT_EQ(Fetch(nginx.Url("/file")), std::make_pair(0, 200));
  EXPECT_EQ(Fetch("http://localhost:" + port + "/file"), std::make_pair(0, 200));
  EXPECT_FALSE(trace.Has(L"仅限本机")) << trace.Dump();

  struct Case {
    std::string url;
    std::wstring pin;
    int curlCode;
    const wchar_t* refused;  // the address named in the log line; null: no connection was tried
  };
  const Case cases[] = {
      {"http://192.0.2.1:9/file", L"", 7, L"192.0.2.1"},                   // an address written in the URL
      {"http://127.0.0.1:" + port + "/file", L"192.0.2.2", 7, L"192.0.2.2"},  // a pinned address
      {nginx.Url("/away"), L"", 7, L"192.0.2.1"},                          // where a redirect leads
      {"http://[2001:db8::1]:9/file", L"", 7, L"2001:db8::1"},
      {"http://host.vkqx.invalid:" + port + "/file", L"", 6, nullptr},  // no system lookup of a name
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    trace.Clear();
    EXPECT_EQ(Fetch(c.url, c.pin, nginx.port()).first, c.curlCode);
    if (c.refused != nullptr) {
      EXPECT_TRUE(trace.Has(std::wstring(L"CurlTransfer 仅限本机(VKQX_LOOPBACK_ONLY): 拒绝连接 ") + c.refused))
          << trace.Dump();
    }
  }
}

TEST_F(LoopbackNetTest, TheDnsClientAsksLoopbackResolversOnly) {
  vkqx_test::DnsmasqServer dns({"test", {{"a.test", "10.1.2.3"}}, {}, {}});
  ASSERT_TRUE(dns.Start());
  CDnsClient client;
  int ms = 0;
  std::vector<std::string> addresses;
  EXPECT_EQ(QueryAddresses("a.test", ms, addresses, &client, dns.Resolver().c_str()), 1);
  EXPECT_EQ(addresses, std::vector<std::string>{"10.1.2.3"});  // answers may name any address

  for (const char* resolver : {"8.8.8.8", "192.0.2.53:5353"}) {
    trace.Clear();
    EXPECT_EQ(QueryAddresses("a.test", ms, addresses, &client, resolver), 0);
    EXPECT_TRUE(addresses.empty());
    EXPECT_EQ(trace.Count(L"QueryAddresses 仅限本机(VKQX_LOOPBACK_ONLY): 拒绝DNS服务器 " +
                          platform::Utf8ToWide(resolver) + L" 查询 a.test"),
              1u)
        << trace.Dump();
  }
}

}  // namespace
