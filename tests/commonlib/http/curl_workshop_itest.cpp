// labels: threaded
// Transfers on a real workshop thread against nginx and our fault server: what the listener hears
// for errors, redirects and ranges refused, how queued and running transfers are taken out, and
// what reaches the wire (user agent, pinned address, form parts).
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "commonlib/core/BufferStream.h"
#include "commonlib/http/CurlHttp.h"
#include "commonlib/http/CurlListener.h"
#include "commonlib/http/CurlWorkshop.h"
#include "commonlib/http/HttpBase.h"
#include "tests/commonlib/http/HttpTestSupport.h"
#include "tests/support/FaultServer.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ServerProcess.h"

namespace {

using http_test::PumpUntil;

struct Event {
  std::string kind;
  int value = 0;
  ProtoValue headers;
};

// Records every event of its transfers, in the order the main thread receives them.
class RecordingListener : public CurlListener {
 public:
  void OnTransferDone(const CRefPtr<CCurlBase>&, int code) override { Add("done", code); }
  void OnRecvProgress(const CRefPtr<CCurlBase>&, unsigned int bytes) override { Add("recv", bytes); }
  void OnSendProgress(const CRefPtr<CCurlBase>&, unsigned int bytes) override { Add("send", bytes); }
  void OnHeaders(const CRefPtr<CCurlBase>&, int code, const ProtoValue& headers) override {
    events.push_back({"headers", code, headers});
  }
  void OnTransferRemoved(const CRefPtr<CCurlBase>&, int) override { Add("removed", 0); }
  void OnTransferAdded(const CRefPtr<CCurlBase>&, int) override { Add("added", 0); }

  bool Has(const std::string& kind) const { return Count(kind) > 0; }
  size_t Count(const std::string& kind) const {
    size_t n = 0;
    for (const Event& e : events) n += e.kind == kind;
    return n;
  }
  const Event* First(const std::string& kind) const {
    for (const Event& e : events)
      if (e.kind == kind) return &e;
    return nullptr;
  }
  std::vector<Event> Of(const std::string& kind) const {
    std::vector<Event> out;
    for (const Event& e : events)
      if (e.kind == kind) out.push_back(e);
    return out;
  }

  std::vector<Event> events;

 private:
  void Add(const char* kind, int value) { events.push_back({kind, value, ProtoValue()}); }
};

// A sink that keeps what it is given and notes when it was told to drop it; optionally refuses
// every write as a full disk would, or throws as memory running out would.
enum class SinkFailure { kNone, kDiskFull, kOutOfMemory };
class RecordingSink : public OBaseStream {
 public:
  struct Log {
    std::mutex mutex;
    std::string bytes;
    std::vector<std::string> calls;  // "write", "dispose", "close"
  };
  explicit RecordingSink(std::shared_ptr<Log> log, SinkFailure failure = SinkFailure::kNone)
      : m_log(std::move(log)), m_failure(failure) {}

  int Write(const void* data, size_t count) override {
    std::lock_guard<std::mutex> guard(m_log->mutex);
    m_log->calls.push_back("write");
    if (m_failure == SinkFailure::kDiskFull) {
      m_lastError = 112;  // ERROR_DISK_FULL
      m_errorKind = 1;
      return -1;
    }
    if (m_failure == SinkFailure::kOutOfMemory) throw std::bad_alloc();
    m_log->bytes.append(static_cast<const char*>(data), count);
    return static_cast<int>(count);
  }
  void Close() override {
    std::lock_guard<std::mutex> guard(m_log->mutex);
    m_log->calls.push_back("close");
  }
  void Dispose() override {
    std::lock_guard<std::mutex> guard(m_log->mutex);
    m_log->calls.push_back("dispose");
    m_log->bytes.clear();
  }

 private:
  std::shared_ptr<Log> m_log;
  SinkFailure m_failure;
};

// A request whose transfers report to the test's listener instead of a manager.
class ProbeRequest : public CHttpBase {
 public:
  ProbeRequest(CCurlWorkshop* workshop, CurlListener* listener, std::string url)
      : CHttpBase(workshop, nullptr), m_listener(listener), sinkLog(std::make_shared<RecordingSink::Log>()) {
    this->url = platform::Utf8ToWide(url);
  }
  HttpOutcome Start() override {
    ReleaseTransfer();
    transfer = CRefPtr<CCurlHttp>(new CCurlHttp(workshop, m_listener));
    transfer->sink = std::make_unique<RecordingSink>(sinkLog, sinkFailure);
    transfer->rangeRequested = rangeRequested;
    transfer->reportProgress = reportProgress;
    return CHttpBase::Start();
  }
  void Done(int, int) override {}
  std::string Body() {
    std::lock_guard<std::mutex> guard(sinkLog->mutex);
    return sinkLog->bytes;
  }
  std::vector<std::string> SinkCalls() {
    std::lock_guard<std::mutex> guard(sinkLog->mutex);
    return sinkLog->calls;
  }

  SinkFailure sinkFailure = SinkFailure::kNone;
  bool rangeRequested = false;
  bool reportProgress = false;

 private:
  CurlListener* m_listener;

 public:
  std::shared_ptr<RecordingSink::Log> sinkLog;
};

class CurlWorkshopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitMainThreadDispatcher();
    workshop.Init();
  }
  void TearDown() override {
    workshop.DestroyThread(platform::INFINITE);
    workshop.UnInit();
  }
  bool WaitDone(uint32_t timeoutMs = 10000) {
    return PumpUntil([&] { return listener.Has("done"); }, timeoutMs);
  }

  vkqx_test::TraceCapture trace;
  CCurlWorkshop workshop;
  RecordingListener listener;
};

std::string FileOf(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char>('a' + i % 26);
  return s;
}

TEST_F(CurlWorkshopTest, NotFoundGivesEmptyHeaderMapsNoBodyAndWriteError) {
  vkqx_test::NginxOptions options;
  options.notFoundBody = "<html>gone for good</html>\n";
  vkqx_test::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  workshop.StartThread();
  ProbeRequest request(&workshop, &listener, nginx.Url("/missing"));
  request.Start();
  ASSERT_TRUE(WaitDone());

  EXPECT_EQ(23, listener.First("done")->value);
  const auto headers = listener.Of("headers");
  ASSERT_GE(headers.size(), 3u);  // one per header line, the status line and the blank line included
  for (const Event& e : headers) {
    EXPECT_EQ(404, e.value);
    EXPECT_EQ(PV_NULL, e.headers.type());
  }
  EXPECT_EQ("", request.Body());
  EXPECT_TRUE(trace.Has(L"CCurlHttp::OnRecieveHeader HTTP error code:0 httpcode:404 "));
  EXPECT_TRUE(trace.Has(L"CCurlHttp::OnRecieveBody HTTP error  httpcode:404 <html>gone for good</html>"));
  EXPECT_EQ("added", listener.events.front().kind);
}

TEST_F(CurlWorkshopTest, RedirectRereadsTheStatusAndKeepsBothResponsesHeaders) {
  vkqx_test::NginxOptions options;
  options.redirects = {{"/old", 302, "/file"}};
  vkqx_test::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  nginx.WriteFile("file", "redirected body");
  workshop.StartThread();
  ProbeRequest request(&workshop, &listener, nginx.Url("/old"));
  request.Start();
  ASSERT_TRUE(WaitDone());

  EXPECT_EQ(0, listener.First("done")->value);
  const auto headers = listener.Of("headers");
  ASSERT_EQ(2u, headers.size());
  EXPECT_EQ(302, headers[0].value);
  EXPECT_TRUE(headers[0].headers.HasKey(L"Location"));
  EXPECT_FALSE(headers[0].headers.HasKey(L"Accept-Ranges"));
  EXPECT_EQ(200, headers[1].value);
  EXPECT_TRUE(headers[1].headers.HasKey(L"Location"));  // not cleared between the responses
  EXPECT_EQ(L"15", headers[1].headers.Lookup(L"Content-Length").string());
  EXPECT_EQ("redirected body", request.Body());
}

TEST_F(CurlWorkshopTest, WholeFileAnswerToARangeDisposesTheSinkBeforeAnyByte) {
  vkqx_test::NginxOptions options;
  options.noRanges = true;
  vkqx_test::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  nginx.WriteFile("file", FileOf(1000));
  workshop.StartThread();
  ProbeRequest request(&workshop, &listener, nginx.Url("/file"));
  request.rangeRequested = true;
  request.rangeStart = 100;
  request.rangeEnd = 199;
  request.Start();
  ASSERT_TRUE(WaitDone());

  EXPECT_EQ(0, listener.First("done")->value);
  EXPECT_EQ(1u, trace.Count(L"httpcode==200 不支持断点续传，清空文件"));
  const auto calls = request.SinkCalls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ("dispose", calls.front());
  EXPECT_EQ(FileOf(1000), request.Body());
  ASSERT_TRUE(nginx.WaitForAccessEntries(1));
  EXPECT_EQ("bytes=100-199", nginx.AccessLog()[0].range);
}

TEST_F(CurlWorkshopTest, RangeIsSentAndPartialAnswerIsWritten) {
  vkqx_test::NginxServer nginx;
  ASSERT_TRUE(nginx.Start());
  nginx.WriteFile("file", FileOf(1000));
  workshop.StartThread();
  ProbeRequest request(&workshop, &listener, nginx.Url("/file"));
  request.rangeRequested = true;
  request.rangeStart = 990;
  request.Start();
  ASSERT_TRUE(WaitDone());
  EXPECT_EQ(206, listener.Of("headers").back().value);
  EXPECT_EQ(FileOf(1000).substr(990), request.Body());
  EXPECT_FALSE(trace.Has(L"不支持断点续传"));
}

TEST_F(CurlWorkshopTest, LaterHeaderOfTheSameNameWins) {
  vkqx_test::NginxOptions options;
  options.extraServerConfig =
      "location = /dup { add_header X-Dup first; add_header X-Dup second; return 200 \"ok\"; }\n";
  vkqx_test::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  workshop.StartThread();
  ProbeRequest request(&workshop, &listener, nginx.Url("/dup"));
  request.Start();
  ASSERT_TRUE(WaitDone());
  ASSERT_TRUE(listener.Has("headers"));
  EXPECT_EQ(L"second", listener.Of("headers").back().headers.Lookup(L"X-Dup").string());
}

TEST_F(CurlWorkshopTest, SinkWriteFailureEndsTheTransferWithItsError) {
  vkqx_test::NginxServer nginx;
  ASSERT_TRUE(nginx.Start());
  nginx.WriteFile("file", FileOf(5000));
  workshop.StartThread();
  struct Case {
    SinkFailure failure;
    const wchar_t* logged;
    int lastError;
  };
  // A sink that throws must not unwind through curl: the process lives and the transfer ends as
  // it does for a sink that reports its failure.
  const Case cases[] = {{SinkFailure::kDiskFull, L"CCurlHttp::OnRecieveBody  Write file error 112", 112},
                        {SinkFailure::kOutOfMemory, L"CCurlHttp::OnRecieveBody 回调异常，传输终止 std::bad_alloc", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::WideToUtf8(c.logged));
    listener.events.clear();
    ProbeRequest request(&workshop, &listener, nginx.Url("/file"));
    request.sinkFailure = c.failure;
    request.Start();
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(23, listener.First("done")->value);
    EXPECT_TRUE(trace.Has(c.logged)) << trace.Dump();
    EXPECT_EQ(c.lastError, request.transfer->sink->LastError());
  }
}

TEST_F(CurlWorkshopTest, ProgressIsBatchedAndNeverOverstated) {
  vkqx_test::NginxOptions options;
  options.limitRate = "64k";  // nginx sends one second's worth at once, then paces the rest
  vkqx_test::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  nginx.WriteFile("file", FileOf(120000));
  workshop.StartThread();
  ProbeRequest request(&workshop, &listener, nginx.Url("/file"));
  request.reportProgress = true;
  request.Start();
  ASSERT_TRUE(WaitDone());
  uint64_t reported = 0;
  for (const Event& e : listener.Of("recv")) reported += static_cast<unsigned>(e.value);
  EXPECT_GE(listener.Count("recv"), 2u);
  EXPECT_LE(reported, 120000u);
  EXPECT_GT(reported, 0u);
  EXPECT_EQ(FileOf(120000), request.Body());
}

TEST_F(CurlWorkshopTest, TransferDeactivatedWhileQueuedIsRemovedNeverAdded) {
  ProbeRequest request(&workshop, &listener, "http://127.0.0.1:1/never");
  request.Start();  // queued; the thread has not started yet
  const CRefPtr<CCurlHttp> transfer = request.transfer;
  ASSERT_NE(nullptr, transfer.get());
  transfer.get()->active.store(false);
  workshop.StartThread();
  ASSERT_TRUE(PumpUntil([&] { return listener.Has("removed"); }, 5000));
  http_test::PumpFor(50);
  EXPECT_FALSE(listener.Has("added"));
  EXPECT_FALSE(listener.Has("done"));
  EXPECT_EQ(nullptr, transfer->easy);
}

TEST_F(CurlWorkshopTest, AddingATransferWaitingForRemovalCancelsTheRemoval) {
  vkqx_test::NginxServer nginx;
  ASSERT_TRUE(nginx.Start());
  nginx.WriteFile("file", "kept");
  ProbeRequest request(&workshop, &listener, nginx.Url("/file"));
  request.Start();
  const CRefPtr<CCurlBase> transfer(request.transfer.get());
  ASSERT_TRUE(workshop.RemoveTransfer(transfer));
  ASSERT_TRUE(workshop.AddTransfer(transfer));  // now queued twice for adding, once removal cancelled
  workshop.StartThread();
  ASSERT_TRUE(WaitDone());
  EXPECT_EQ(0, listener.First("done")->value);
  EXPECT_FALSE(listener.Has("removed"));
  EXPECT_EQ("kept", request.Body());
}

TEST_F(CurlWorkshopTest, StoppingARunningTransferRemovesItWithoutCompletion) {
  vkqx_test::FaultServer server;
  ASSERT_TRUE(server.StartHttp(FileOf(120000), {vkqx_test::HttpFault::StallAfter(1000)}));
  workshop.StartThread();
  ProbeRequest request(&workshop, &listener, server.Url("/stall"));
  request.Start();
  ASSERT_TRUE(PumpUntil([&] { return request.Body().size() >= 1000; }, 5000));
  request.Stop();  // RemoveTransfer, then deactivate and close
  ASSERT_TRUE(PumpUntil([&] { return listener.Has("removed"); }, 5000));
  http_test::PumpFor(50);
  EXPECT_FALSE(listener.Has("done"));
  EXPECT_EQ(1u, listener.Count("removed"));  // removed and deactivated: retired once
}

TEST_F(CurlWorkshopTest, AddAndRemoveAreRefusedWithoutMultiHandle) {
  CCurlWorkshop idle;  // never initialised
  const CRefPtr<CCurlBase> transfer(new CCurlHttp(&idle, &listener));
  EXPECT_FALSE(idle.AddTransfer(transfer));
  EXPECT_FALSE(idle.RemoveTransfer(transfer));
  workshop.UnInit();
  EXPECT_FALSE(workshop.AddTransfer(transfer));
  EXPECT_FALSE(workshop.RemoveTransfer(transfer));
  EXPECT_TRUE(trace.Has(L"CCurlWorkshop::UnInit() "));
  workshop.UnInit();  // twice is harmless
}

TEST_F(CurlWorkshopTest, EventForADestroyedListenerIsDropped) {
  vkqx_test::NginxServer nginx;
  ASSERT_TRUE(nginx.Start());
  nginx.WriteFile("file", "x");
  auto gone = std::make_unique<RecordingListener>();
  workshop.StartThread();
  ProbeRequest request(&workshop, gone.get(), nginx.Url("/file"));
  request.Start();
  ASSERT_TRUE(nginx.WaitForAccessEntries(1));
  gone.reset();  // a stack stopped while its events wait in the main thread's queue
  http_test::PumpFor(200);
  SUCCEED();
}

TEST_F(CurlWorkshopTest, WireCarriesUserAgentAndPinnedAddress) {
  vkqx_test::NginxOptions options;
  options.addresses = {"127.0.0.2", "127.0.0.3"};
  options.extraServerConfig = "location = /ua { return 200 \"$http_user_agent\"; }\n";
  vkqx_test::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  workshop.StartThread();
  // The host name is never resolved: the pin decides where the connection goes.
  ProbeRequest request(&workshop, &listener, "http://pinned.vkqx.invalid:" + std::to_string(nginx.port()) + "/ua");
  request.SetIP(L"127.0.0.3", nginx.port());
  request.Start();
  ASSERT_TRUE(WaitDone());
  EXPECT_EQ(0, listener.First("done")->value);
  EXPECT_EQ("HTTP-VKQX-1.0", request.Body());
  EXPECT_EQ("127.0.0.3", request.transfer->GetPrimaryIp());
  ASSERT_TRUE(nginx.WaitForAccessEntries(1));
  EXPECT_EQ("127.0.0.3", nginx.AccessLog()[0].serverAddress);
}

TEST_F(CurlWorkshopTest, FormFieldsGoOutAsMultipartParts) {
  vkqx_test::NginxOptions options;
  options.bodyStorePath = "/form";
  vkqx_test::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  workshop.StartThread();
  ProbeRequest request(&workshop, &listener, nginx.Url("/form"));
  request.method = 2;
  request.AddFormField("sign", "0123abcd");
  request.AddFormField("data", "[{\"k\":1}]");
  request.Start();
  ASSERT_TRUE(WaitDone());
  EXPECT_EQ(0, listener.First("done")->value);
  EXPECT_EQ("stored", request.Body());

  const std::string sent = nginx.StoredBodies();
  EXPECT_NE(std::string::npos, sent.find("Content-Disposition: form-data; name=\"sign\"\r\n\r\n0123abcd\r\n"));
  EXPECT_NE(std::string::npos, sent.find("Content-Disposition: form-data; name=\"data\"\r\n\r\n[{\"k\":1}]\r\n"));
  EXPECT_LT(sent.find("name=\"sign\""), sent.find("name=\"data\""));
}

TEST(CurlHttpTest, UploadOfNoBytesSuppliesNothing) {
  CCurlHttp transfer(nullptr, nullptr);
  char buffer[16];
  EXPECT_EQ(0u, transfer.OnSendBody(buffer, sizeof buffer));  // no source
  const std::string body = "abc";
  transfer.source = std::make_unique<IBufferStream>(body.data(), body.size(), true);
  EXPECT_EQ(0u, transfer.OnSendBody(buffer, sizeof buffer));  // uploadSize 0
  transfer.uploadSize = 3;
  EXPECT_EQ(3u, transfer.OnSendBody(buffer, sizeof buffer));
  EXPECT_EQ(0u, transfer.OnSendBody(buffer, sizeof buffer));  // all sent
  EXPECT_EQ(3u, transfer.uploadSent);
}

TEST(CurlHttpTest, ClosedTransferRefusesBodyBytes) {
  CCurlHttp transfer(nullptr, nullptr);
  transfer.httpCode = 200;
  transfer.sink = std::make_unique<OBufferStream>();
  EXPECT_EQ(2u, transfer.OnRecieveBody("ab", 2));
  transfer.Close();
  EXPECT_EQ(0u, transfer.OnRecieveBody("cd", 2));
  EXPECT_TRUE(transfer.IsClosed());
}

}  // namespace
