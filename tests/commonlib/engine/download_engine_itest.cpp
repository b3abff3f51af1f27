// labels: threaded
// The engine on the real message loop and its own HTTP stack against nginx and the fault server:
// what a source does with a wrong answer, a dropped connection, a stall, a redirect, and when the
// CDN source steps in. Timeouts and speed windows run on real time here; their rules are tested
// on the test clock in download_task_test.cpp.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "commonlib/engine/DAEventRegistry.h"
#include "commonlib/engine/DownloadEngine.h"
#include "commonlib/engine/DownloadTask.h"
#include "commonlib/engine/DownloadTaskQueue.h"
#include "commonlib/http/HttpHousekeeping.h"
#include "commonlib/peer/HttpDownloadPeer.h"
#include "commonlib/thread/MainThreadDispatcher.h"
#include "platform/drives.h"
#include "platform/message_loop.h"
#include "platform/text.h"
#include "platform/timer.h"
#include "tests/commonlib/engine/engine_test_support.h"
#include "tests/support/FaultServer.h"
#include "tests/support/NginxServer.h"

namespace {

using vkqx_test::FaultServer;
using vkqx_test::HttpFault;
using vkqx_test::NginxOptions;
using vkqx_test::NginxServer;

constexpr uint64_t kBlock = kHttpBlockLimit;

struct Outcome {
  bool called = false;
  int et = -1;
  int ec = -1;
};
Outcome g_outcome;
CHttpHousekeeping g_housekeeping;

void OnDone(uint32_t, int32_t et, int32_t ec) { g_outcome = {true, et, ec}; }
void Housekeeping(platform::HWND, platform::UINT, platform::UINT_PTR, uint32_t) {
  g_housekeeping.Tick(GetDownloadHttpMgr(), nullptr);
}

std::string MakeContent(size_t size) {
  std::string data(size, '\0');
  std::mt19937 random(777);
  for (char& c : data) c = static_cast<char>(random());
  return data;
}

// The engine started as the application starts it, with the 500 ms housekeeping of its manager.
class EngineItest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_outcome = {};
    InitMainThreadDispatcher();
    DownloadEngineInit();
    SetDownloadCallbacks(nullptr, &OnDone);
    m_timer = platform::SetTimer(nullptr, 0, CHttpHousekeeping::kPeriodMs, &Housekeeping);
  }
  void TearDown() override {
    while (!Queue()->Tasks().empty()) Queue()->CancelDownloadFile(Queue()->Tasks().front()->GetFullPath());
    platform::KillTimer(nullptr, m_timer);
    DownloadEngineUninit();
    SetDownloadCallbacks(nullptr, nullptr);
    ShutdownMainThreadDispatcher();
  }
  static CDownloadTaskQueue* Queue() { return CDownloadTaskQueue::GetInstance(); }

  // Runs the loop until `done` holds or `timeoutMs` pass; the engine's timers keep it waking.
  bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    platform::RunNestedMessageLoop([&] { return done() || std::chrono::steady_clock::now() >= deadline; });
    return done();
  }
  bool Download(const std::string& url, const std::string& content, const wchar_t* ips = L"",
                const wchar_t* cdnHost = L"", int64_t cdnMinSpeed = 0) {
    m_content = content;
    const std::wstring wideUrl = platform::Utf8ToWide(url);
    const bool queued = DownloadFile(L"5d41402abc4b2a76b9719d911017c592", cdnHost, wideUrl.c_str(), ips,
                                     Target().c_str(), static_cast<int64_t>(content.size()), 1, cdnMinSpeed, "");
    // The record outlives the task; its event lines are what the report would upload.
    if (Task() != nullptr) m_record = Task()->Log();
    return queued;
  }
  std::wstring Target() const { return engine_test::TempDrive::Path("file.bin"); }
  CDownloadTask* Task() const { return Queue()->FindTask(Target()); }
  bool LogHas(const std::wstring& part) const {
    if (m_record)
      for (const std::wstring& line : m_record->Lines())
        if (line.find(part) != std::wstring::npos) return true;
    return m_log.Has(part);
  }
  void ExpectCompleteAndRight() {
    ASSERT_TRUE(g_outcome.called);
    EXPECT_EQ(g_outcome.et, 0);
    EXPECT_EQ(g_outcome.ec, 0);
    EXPECT_TRUE(m_drive.Read("file.bin") == m_content) << "the target differs from the served file";
  }

  engine_test::TempDrive m_drive;
  vkqx_test::TraceCapture m_log;
  platform::UINT_PTR m_timer = 0;
  std::string m_content;
  CRefPtr<CTaskLog> m_record;
};

// A source's request on its own, outside any task: the events it sends are collected.
class PeerEvents : public DAEventListener {
 public:
  PeerEvents() { DAEventRegistry::GetInstance()->AddListener(this); }
  ~PeerEvents() { DAEventRegistry::GetInstance()->RemoveListener(this); }
  void OnEvent(int type, int et, int ec, const ProtoValue&) override {
    if (type == DA_EVENT_DONE) done = {true, et, ec};
  }
  Outcome done;
};

TEST_F(EngineItest, ARangeAnsweredInFullNeverReachesTheFile) {
  const std::string content = MakeContent(3 * kBlock);
  NginxOptions options;
  options.noRanges = true;
  NginxServer nginx(options);
  nginx.WriteFile("file.bin", content);
  ASSERT_TRUE(nginx.Start());
  FaultServer fault;
  ASSERT_TRUE(fault.StartHttp(content, {HttpFault::IgnoreRange()}));

  for (const std::string& url : {nginx.Url("/file.bin"), fault.Url("/file.bin")}) {
    SCOPED_TRACE(url);
    // Every byte of the data file is a marker; a block request answered with the whole file must
    // leave all of them.
    const std::string marker(content.size(), 'M');
    m_drive.Write("data.vkdt", marker);
    PeerEvents events;
    CHttpDownloadPeer peer(platform::Utf8ToWide(url), engine_test::TempDrive::Path("data.vkdt"), false);
    DownloadBlock block{kBlock, 2 * kBlock - 1, 0};
    ASSERT_TRUE(peer.StartBlock(&block));
    ASSERT_TRUE(RunUntil([&] { return events.done.called; }, 10000));
    EXPECT_EQ(events.done.et, 4);
    EXPECT_EQ(events.done.ec, 2008);
    EXPECT_TRUE(m_drive.Read("data.vkdt") == marker) << "bytes of a 200 answer reached the file";
  }
}

TEST_F(EngineItest, ABodyLongerThanItsBlockIsCutAtTheBlock) {
  const std::string content = MakeContent(3 * kBlock);
  FaultServer fault;
  ASSERT_TRUE(fault.StartHttp(content, {HttpFault::WrongLength(4096)}));
  const std::string marker(content.size(), 'M');
  m_drive.Write("data.vkdt", marker);
  PeerEvents events;
  CHttpDownloadPeer peer(platform::Utf8ToWide(fault.Url("/file.bin")), engine_test::TempDrive::Path("data.vkdt"), false);
  DownloadBlock block{kBlock, 2 * kBlock - 1, 0};
  ASSERT_TRUE(peer.StartBlock(&block));
  ASSERT_TRUE(RunUntil([&] { return events.done.called; }, 10000));
  EXPECT_EQ(events.done.et, 3);
  EXPECT_EQ(events.done.ec, 2009);
  const std::string after = m_drive.Read("data.vkdt");
  EXPECT_TRUE(after.substr(0, kBlock) == marker.substr(0, kBlock));
  EXPECT_TRUE(after.substr(2 * kBlock) == marker.substr(2 * kBlock)) << "a byte was written past the block";
}

TEST_F(EngineItest, ADroppedConnectionIsRetriedFromTheFirstByteNotOnDisk) {
  const std::string content = MakeContent(2 * kBlock + 1000);
  FaultServer fault;
  ASSERT_TRUE(fault.StartHttp(content, {HttpFault::CloseAfter(300000), HttpFault::Serve()}));
  ASSERT_TRUE(Download(fault.Url("/file.bin"), content));
  ASSERT_TRUE(RunUntil([] { return g_outcome.called; }, 20000));
  ExpectCompleteAndRight();
  const std::vector<vkqx_test::FaultRequest> requests = fault.Requests();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests[0].range, "bytes=0-1310719");
  EXPECT_EQ(requests[1].range, "bytes=300000-1310719");
  EXPECT_TRUE(LogHas(L"第1次重试 et:5 ec:18"));
}

TEST_F(EngineItest, AWrongContentLengthDropsTheSourceAndTheCdnTakesOver) {
  const std::string content = MakeContent(kBlock + 5000);
  FaultServer broken;
  ASSERT_TRUE(broken.StartHttp(content, {HttpFault::WrongLength(-1000)}));
  FaultServer cdn;
  ASSERT_TRUE(cdn.StartHttp(content, {HttpFault::Serve()}, "127.0.0.4", broken.port()));
  ASSERT_TRUE(Download(broken.Url("/file.bin"), content, L"", L"127.0.0.4", 0));
  ASSERT_TRUE(RunUntil([] { return g_outcome.called; }, 20000));
  ExpectCompleteAndRight();
  EXPECT_TRUE(LogHas(L"失败,et:3,ec:2009"));
  EXPECT_TRUE(LogHas(L"下载源全部失败，切换为第三方cdn下载源：127.0.0.4"));
  EXPECT_EQ(broken.Connections(), 1u);  // 2009 is not retried
}

TEST_F(EngineItest, RedirectsAreFollowedByTheDomainSourceAndRestartPinnedOnes) {
  const std::string content = MakeContent(4 * kBlock);
  NginxOptions options;
  options.addresses = {"127.0.0.1", "127.0.0.2"};
  options.redirects = {{"/file.bin", 302, "/real/file.bin"}};
  NginxServer server(options);
  server.WriteFile("real/file.bin", content);
  ASSERT_TRUE(server.Start());
  ASSERT_TRUE(Download(server.Url("/file.bin"), content, L"127.0.0.2"));
  ASSERT_TRUE(RunUntil([] { return g_outcome.called; }, 20000));
  ExpectCompleteAndRight();
  EXPECT_TRUE(LogHas(L"[源重定向] 源"));
  EXPECT_TRUE(LogHas(L"ec:3003"));  // the pinned source restarts at the location
  int redirects = 0;
  for (const vkqx_test::NginxAccessEntry& e : server.AccessLog()) redirects += e.status == 302 ? 1 : 0;
  EXPECT_EQ(redirects, 2);  // once per source; later blocks go to the new location directly
}

TEST_F(EngineItest, AStalledRequestIsCutAfterSixteenSecondsAndContinued) {
  const std::string content = MakeContent(kBlock / 2);
  FaultServer fault;
  ASSERT_TRUE(fault.StartHttp(content, {HttpFault::StallAfter(1000), HttpFault::Serve()}));
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(Download(fault.Url("/file.bin"), content));
  ASSERT_TRUE(RunUntil([] { return g_outcome.called; }, 30000));
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
  ExpectCompleteAndRight();
  EXPECT_GE(seconds, 16);
  EXPECT_TRUE(LogHas(L"第1次重试 et:3 ec:3002"));
  const std::vector<vkqx_test::FaultRequest> requests = fault.Requests();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests[1].range, "bytes=1000-" + std::to_string(content.size() - 1));
}

TEST_F(EngineItest, ASourceKeptUnderTheThresholdForTwentySecondsBringsInTheCdn) {
  const std::string content = MakeContent(3 * kBlock);
  NginxOptions options;
  options.limitRate = "16k";
  NginxServer slow(options);
  slow.WriteFile("file.bin", content);
  ASSERT_TRUE(slow.Start());
  FaultServer cdn;
  ASSERT_TRUE(cdn.StartHttp(content, {HttpFault::Serve()}, "127.0.0.4", slow.port()));
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(Download(slow.Url("/file.bin"), content, L"", L"127.0.0.4", 1'000'000));
  ASSERT_TRUE(RunUntil([&] { return cdn.Connections() >= 2; }, 40000));
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, 20);
  EXPECT_TRUE(LogHas(L"低于阈值976.56 KB/秒，切换为第三方cdn下载源：127.0.0.4"));
  ASSERT_NE(Task(), nullptr);
  EXPECT_TRUE(Task()->UsedCdn());
}

TEST_F(EngineItest, ATricklingSourceIsCutLikeASilentOneAndItsBlockContinued) {
  // One byte every two seconds never lets 16 s pass without data, but it is no download.
  const std::string content = MakeContent(kBlock / 2);
  FaultServer fault;
  ASSERT_TRUE(fault.StartHttp(content, {HttpFault::TrickleAfter(100000, 2000), HttpFault::Serve()}));
  ASSERT_TRUE(Download(fault.Url("/file.bin"), content));
  ASSERT_TRUE(RunUntil([] { return g_outcome.called; }, 60000));
  ExpectCompleteAndRight();
  EXPECT_TRUE(LogHas(L"第1次重试 et:3 ec:3002"));
  const std::vector<vkqx_test::FaultRequest> requests = fault.Requests();
  ASSERT_GE(requests.size(), 2u);
  uint64_t resumedAt = 0;
  ASSERT_EQ(std::sscanf(requests[1].range.c_str(), "bytes=%lu-", &resumedAt), 1) << requests[1].range;
  EXPECT_GE(resumedAt, 100000u);  // the trickled bytes are kept, not fetched again
}

TEST_F(EngineItest, RelativeRedirectsAreResolvedAgainstTheRequestUrl) {
  const std::string content = MakeContent(3 * kBlock);
  struct Case {
    const char* name;
    std::string location;  // what the server sends, for a request of /dl/file.bin
  };
  FaultServer other;  // another server, named by a network-path reference
  ASSERT_TRUE(other.StartHttp(content, {HttpFault::Serve()}));
  const Case cases[] = {
      {"a relative path", "v2/file.bin"},
      {"a dot segment", "../dl/v2/file.bin"},
      {"an absolute path", "/dl/v2/file.bin"},
      {"a network-path reference", "//127.0.0.1:" + std::to_string(other.port()) + "/dl/v2/file.bin"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_outcome = {};
    NginxOptions options;
    options.addresses = {"127.0.0.1", "127.0.0.2"};
    options.redirects = {{"/dl/file.bin", 302, c.location}};
    // nginx would make a location that is a path absolute itself.
    options.extraServerConfig = "    absolute_redirect off;";
    NginxServer server(options);
    server.WriteFile("dl/v2/file.bin", content);
    ASSERT_TRUE(server.Start());
    // A domain source (the transfer follows, later blocks go to the location) and a pinned one
    // (restarted at the location).
    ASSERT_TRUE(Download(server.Url("/dl/file.bin"), content, L"127.0.0.2"));
    ASSERT_TRUE(RunUntil([] { return g_outcome.called; }, 30000));
    ExpectCompleteAndRight();
    EXPECT_TRUE(LogHas(L"ec:3003"));
    for (const vkqx_test::NginxAccessEntry& e : server.AccessLog())
      EXPECT_TRUE(e.status == 302 || e.status == 206) << e.request << " " << e.status;
    m_drive.Write("file.bin", "");
  }
}

}  // namespace
