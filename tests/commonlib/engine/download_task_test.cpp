// The task's rules on a stack without a transfer thread: requests start and stay started, so the
// test drives the sources (their progress and their outcomes) and the one-second tick by hand,
// with the clock under its control.
#include "commonlib/engine/DownloadTask.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "commonlib/engine/DAEventRegistry.h"
#include "commonlib/engine/DownloadEngine.h"
#include "commonlib/engine/DownloadTaskQueue.h"
#include "commonlib/http/HttpMgr.h"
#include "commonlib/peer/CurlDownloadHttp.h"
#include "commonlib/peer/HttpDownloadPeer.h"
#include "platform/file.h"
#include "platform/format.h"
#include "tests/commonlib/engine/engine_test_support.h"

namespace {

constexpr uint64_t L = kHttpBlockLimit;
const wchar_t kUrl[] = L"http://dl.example:8080/pkg/file.bin";
const wchar_t kHash[] = L"0123456789abcdef0123456789abcdef";

struct Outcome {
  bool called = false;
  int et = -1;
  int ec = -1;
};
Outcome g_outcome;
int g_progressCalls = 0;

void OnDone(uint32_t, int32_t et, int32_t ec) { g_outcome = {true, et, ec}; }
void OnProgress(uint32_t, int64_t, int64_t, int32_t) { ++g_progressCalls; }

class DownloadTaskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_outcome = {};
    g_progressCalls = 0;
    SetDownloadStackForTesting(nullptr, &m_manager);
    SetDownloadCallbacks(&OnProgress, &OnDone);
    DAEventRegistry::GetInstance()->AddListener(Queue());
  }
  void TearDown() override {
    while (!Queue()->Tasks().empty()) Queue()->CancelDownloadFile(Queue()->Tasks().front()->GetFullPath());
    DAEventRegistry::GetInstance()->RemoveListener(Queue());
    SetDownloadStackForTesting(nullptr, nullptr);
    SetDownloadCallbacks(nullptr, nullptr);
  }

  static CDownloadTaskQueue* Queue() { return CDownloadTaskQueue::GetInstance(); }

  bool Start(int64_t size, const wchar_t* ips = L"", const wchar_t* cdnHost = L"", int64_t cdnMinSpeed = 0,
             const wchar_t* hash = kHash, const std::wstring& target = engine_test::TempDrive::Path("file.bin")) {
    return DownloadFile(hash, cdnHost, kUrl, ips, target.c_str(), size, 7, cdnMinSpeed, "");
  }
  CDownloadTask* Task() const { return Queue()->FindTaskByKey(kHash); }
  std::vector<CHttpDownloadPeer*> Peers() const {
    std::vector<CHttpDownloadPeer*> peers;
    if (Task() != nullptr)
      for (const auto& p : Task()->Peers()) peers.push_back(p->AsHttpPeer());
    return peers;
  }
  CHttpDownloadPeer* CdnPeer() const {
    for (CHttpDownloadPeer* p : Peers())
      if (p->m_isCdn) return p;
    return nullptr;
  }
  // One second passes; `bytes` arrive at the first source first.
  void Second(uint32_t bytes = 0) {
    if (bytes != 0 && !Peers().empty()) Peers().front()->OnProgress(bytes);
    m_clock.Advance(1000);
    Queue()->OnTimer();
  }
  bool LogHas(const std::wstring& part) const {
    if (Task() == nullptr) return false;
    for (const std::wstring& line : Task()->Log()->Lines())
      if (line.find(part) != std::wstring::npos) return true;
    return false;
  }

  // The meta file of a download of `size` bytes with no gap left.
  static bool SaveMetaWithNothingMissing(int64_t size) {
    TaskMetaData saved;
    saved.fileSize = size;
    saved.fileHash = kHash;
    CTaskMetaFile meta;
    meta.SetPath(engine_test::TempDrive::Path("file.bin.vkdt.vkmt"));
    CTaskMetaFile::Encode(saved, CTaskLog(), meta.Root());
    return meta.Save();
  }

  engine_test::TempDrive m_drive;
  engine_test::ManualClock m_clock{10'000'000, 1'600'000'000'000};
  vkqx_test::TraceCapture m_log;
  CHttpMgr m_manager;
};

TEST_F(DownloadTaskTest, StartsTheDomainSourceAndAtMostTwoPinnedOnesOnConsecutiveBlocks) {
  struct Case {
    const wchar_t* ips;
    size_t sources;
  };
  for (const Case& c : {Case{L"", 1}, Case{L"127.0.0.9", 2}, Case{L"127.0.0.3;127.0.0.2;127.0.0.4", 3}}) {
    SCOPED_TRACE(testing::Message() << c.sources);
    ASSERT_TRUE(Start(3'000'000, c.ips));
    const std::vector<CHttpDownloadPeer*> peers = Peers();
    ASSERT_EQ(peers.size(), c.sources);
    EXPECT_FALSE(peers[0]->m_isIpPeer);
    EXPECT_TRUE(peers[0]->connectTo.empty());
    const uint64_t expected[3][2] = {{0, L - 1}, {L, 2 * L - 1}, {2 * L, 3'000'000 - 1}};
    for (size_t i = 0; i < peers.size(); ++i) {
      ASSERT_NE(peers[i]->Block(), nullptr);
      EXPECT_EQ(peers[i]->Block()->start, expected[i][0]);
      EXPECT_EQ(peers[i]->Block()->end, expected[i][1]);
      EXPECT_EQ(peers[i]->rangeStart, expected[i][0]);
      EXPECT_TRUE(peers[i]->verifyHost);
      if (i > 0) {
        EXPECT_TRUE(peers[i]->m_isIpPeer);
        ASSERT_EQ(peers[i]->connectTo.size(), 1u);
        EXPECT_EQ(peers[i]->connectTo[0], "dl.example:8080:" + platform::WideToUtf8(peers[i]->m_ip) + ":8080");
        EXPECT_TRUE(LogHas(L"[选取源] 选取IP源：" + peers[i]->m_ip));
      }
    }
    EXPECT_TRUE(LogHas(L"[任务状态] 开始下载:http://dl.example:8080/pkg/file.bin"));
    EXPECT_TRUE(LogHas(L"[选取源] 选取域名源：dl.example"));
    Queue()->CancelDownloadFile(Task()->GetFullPath());
  }
}

TEST_F(DownloadTaskTest, AddsTheCdnSourceAfterTwentySecondsAtOrBelowTheThreshold) {
  struct Case {
    const char* name;
    int64_t threshold;
    uint32_t bytesPerSecond;
    int switchAt;  // the tick that adds the CDN source, 0 for none within 30 s
  };
  const Case cases[] = {
      {"speed equal to the threshold", 100000, 100000, 21},
      {"threshold 0, stalled", 0, 0, 21},
      {"negative threshold", -1, 5'000'000, 21},
      {"faster than the threshold", 100000, 300000, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Start(40'000'000, L"127.0.0.2", L"cdn.example", c.threshold));
    int switchedAt = 0;
    for (int tick = 1; tick <= 30 && switchedAt == 0; ++tick) {
      Second(c.bytesPerSecond);
      if (CdnPeer() != nullptr) switchedAt = tick;
    }
    EXPECT_EQ(switchedAt, c.switchAt);
    if (CHttpDownloadPeer* cdn = CdnPeer()) {
      EXPECT_EQ(cdn->GetUrl(), L"http://cdn.example:8080/pkg/file.bin");
      EXPECT_EQ(cdn->GetName(), L"cdn.example");
      EXPECT_NE(cdn->Block(), nullptr);  // it takes the next free block at once
      EXPECT_TRUE(Task()->UsedCdn());
      EXPECT_TRUE(LogHas(L"切换为第三方cdn下载源：cdn.example"));
      // Once per run.
      for (int i = 0; i < 25; ++i) Second();
      int cdnSources = 0;
      for (CHttpDownloadPeer* p : Peers()) cdnSources += p->m_isCdn ? 1 : 0;
      EXPECT_EQ(cdnSources, 1);
    }
    Queue()->CancelDownloadFile(Task()->GetFullPath());
  }
}

TEST_F(DownloadTaskTest, WithoutSourcesTheTaskFailsOnTheFirstTickMoreThanTenSecondsLater) {
  ASSERT_TRUE(Start(5'000'000, L"127.0.0.2"));
  for (CHttpDownloadPeer* p : Peers()) p->Done(ET_HTTP, 404);
  EXPECT_TRUE(Peers().empty());
  EXPECT_TRUE(LogHas(L"[源失败] 源：dl.example失败,et:4,ec:404"));
  Second();  // the watchdog starts counting here
  for (int i = 0; i < 10; ++i) Second();
  EXPECT_FALSE(g_outcome.called);
  Second();
  EXPECT_TRUE(g_outcome.called);
  EXPECT_EQ(g_outcome.et, 3);
  EXPECT_EQ(g_outcome.ec, DL_TASK_NO_SOURCE);
  EXPECT_EQ(Task(), nullptr);
  EXPECT_TRUE(m_log.Has(L"下载任务，找不到任何源！！url:http://dl.example:8080/pkg/file.bin"));
}

TEST_F(DownloadTaskTest, TheCdnTakesOverWhenTheLastSourceFailed) {
  ASSERT_TRUE(Start(5'000'000, L"127.0.0.2", L"cdn.example", 0));
  std::vector<CHttpDownloadPeer*> peers = Peers();
  peers[0]->Done(ET_HTTP, 503);
  EXPECT_EQ(CdnPeer(), nullptr);
  peers[1]->Done(ET_HTTP, 503);
  ASSERT_NE(CdnPeer(), nullptr);
  EXPECT_EQ(CdnPeer()->Block()->start, 0u);  // the failed blocks are free again
  EXPECT_TRUE(LogHas(L"下载源全部失败，切换为第三方cdn下载源：cdn.example"));
}

TEST_F(DownloadTaskTest, TransportFailuresAreRetriedOnlyOnTheSourcesFirstTwoStarts) {
  ASSERT_TRUE(Start(5'000'000));
  CHttpDownloadPeer* peer = Peers().at(0);
  for (uint32_t start = 1; start <= 2; ++start) {
    EXPECT_EQ(peer->startCount, start);
    peer->Done(ET_CURL, 7);
    ASSERT_EQ(Peers().size(), 1u);
    EXPECT_TRUE(peer->delayed);
    EXPECT_TRUE(LogHas(platform::StrFormat(L"[源重试] 下载源dl.example 第%u次重试 et:5 ec:7", start)));
    m_clock.Advance(400);
    m_manager.CheckRetryDelays();
    EXPECT_FALSE(peer->started);  // the 500 ms delay is not over
    m_clock.Advance(200);
    m_manager.CheckRetryDelays();
    EXPECT_TRUE(peer->started);
    EXPECT_EQ(peer->Block()->start, 0u);
  }
  peer->Done(ET_CURL, 7);
  EXPECT_TRUE(Peers().empty());
  EXPECT_TRUE(LogHas(L"[源失败] 源：dl.example失败,et:5,ec:7"));
}

TEST_F(DownloadTaskTest, APinnedSourceRedirectedRestartsUnpinnedAtTheLocation) {
  ASSERT_TRUE(Start(5'000'000, L"127.0.0.2"));
  CHttpDownloadPeer* pinned = Peers().at(1);
  EXPECT_EQ(pinned->GetName(), L"127.0.0.2");
  ProtoValue headers;
  headers[L"Location"] = L"http://mirror.example:8080/other/file.bin";
  pinned->OnHeaders(302, headers);
  EXPECT_TRUE(LogHas(L"[源重定向] 源127.0.0.2重定向到:http://mirror.example:8080/other/file.bin"));
  EXPECT_TRUE(LogHas(L"[源重试] 下载源dl.example 第1次重试 et:3 ec:3003"));
  EXPECT_FALSE(pinned->m_isIpPeer);
  EXPECT_TRUE(pinned->connectTo.empty());
  EXPECT_EQ(pinned->GetUrl(), L"http://mirror.example:8080/other/file.bin");
  EXPECT_EQ(pinned->GetName(), L"mirror.example");
  EXPECT_EQ(pinned->Block()->start, L);  // still its block
}

TEST_F(DownloadTaskTest, AStartThatFailsAtOnceDropsTheSourceAndFreesTheBlock) {
  ASSERT_TRUE(Start(5'000'000));
  CHttpDownloadPeer* peer = Peers().at(0);
  peer->Done(ET_CURL, 7);  // first retry pending
  // The data file is gone and cannot be made again: its directory is replaced by a file.
  peer->SetDataFile(nullptr);
  ASSERT_EQ(std::remove(m_drive.Host("file.bin.vkdt").c_str()), 0);
  ASSERT_EQ(mkdir(m_drive.Host("file.bin.vkdt").c_str(), 0700), 0);
  m_clock.Advance(600);
  m_manager.CheckRetryDelays();  // the restart opens the file itself and fails: (1, 5) is final
  EXPECT_TRUE(Peers().empty());
  EXPECT_TRUE(LogHas(L"[源失败] 源：dl.example失败,et:1"));
}

TEST_F(DownloadTaskTest, ACompleteTargetFinishesWithoutAnyRequest) {
  m_drive.Write("file.bin", std::string(4096, 'x'));
  const size_t records = Queue()->Records().size();
  ASSERT_TRUE(Start(4096));
  EXPECT_TRUE(g_outcome.called);
  EXPECT_EQ(g_outcome.et, 0);
  EXPECT_EQ(g_outcome.ec, 0);
  EXPECT_EQ(m_manager.RequestCount(), 0u);
  EXPECT_TRUE(Queue()->Tasks().empty());
  EXPECT_EQ(Queue()->Records().size(), records);  // handed to the report, which is not uploaded
  EXPECT_TRUE(m_log.Has(L"最终文件大小等于预期大小，认为已经完成"));
  EXPECT_EQ(m_drive.Read("file.bin"), std::string(4096, 'x'));
  EXPECT_FALSE(m_drive.Exists("file.bin.vkdt.vkmt"));
}

TEST_F(DownloadTaskTest, AnEmptyFileCompletesAtOnceWithAnEmptyTarget) {
  ASSERT_TRUE(Start(0));
  EXPECT_TRUE(g_outcome.called);
  EXPECT_EQ(g_outcome.et, 0);
  EXPECT_EQ(g_outcome.ec, 0);
  EXPECT_EQ(m_manager.RequestCount(), 0u);
  ASSERT_TRUE(m_drive.Exists("file.bin"));
  EXPECT_EQ(m_drive.Read("file.bin"), "");
  EXPECT_FALSE(m_drive.Exists("file.bin.vkdt"));
  EXPECT_FALSE(m_drive.Exists("file.bin.vkdt.vkmt"));
}

TEST_F(DownloadTaskTest, ATargetOrHashAlreadyQueuedIsRefusedAndNeverStarted) {
  struct Case {
    const char* name;
    const wchar_t* hash;
    const char* target;
  };
  ASSERT_TRUE(Start(5'000'000));
  const size_t requests = m_manager.RequestCount();
  const size_t records = Queue()->Records().size();
  for (const Case& c : {Case{"same target", L"ffffffffffffffffffffffffffffffff", "file.bin"},
                        Case{"same hash", kHash, "other.bin"}}) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(Start(5'000'000, L"", L"", 0, c.hash, engine_test::TempDrive::Path(c.target)));
    EXPECT_EQ(Queue()->Tasks().size(), 1u);
    EXPECT_EQ(Queue()->Records().size(), records);
    EXPECT_EQ(m_manager.RequestCount(), requests);
    EXPECT_FALSE(g_outcome.called);
  }
  EXPECT_FALSE(m_drive.Exists("other.bin.vkdt"));
  EXPECT_TRUE(m_log.Has(L"目标文件已在下载队列中"));
  EXPECT_TRUE(m_log.Has(L"相同哈希的任务已在下载队列中"));
}

TEST_F(DownloadTaskTest, ACancelSavesWhatRunningBlocksWroteAndTheNextRunContinuesThere) {
  const size_t records = Queue()->Records().size();
  ASSERT_TRUE(Start(3'000'000, L"127.0.0.2"));
  Peers()[0]->OnProgress(100);
  Peers()[1]->OnProgress(L);  // the whole second block
  EXPECT_EQ(Task()->GetCompletedSize(), static_cast<int64_t>(100 + L));
  CancelDownload(kUrl, engine_test::TempDrive::Path("file.bin").c_str());
  EXPECT_FALSE(g_outcome.called);
  EXPECT_TRUE(Queue()->Tasks().empty());
  ASSERT_EQ(Queue()->Records().size(), records + 1);  // a cancelled task's record stays
  bool paused = false;
  for (const std::wstring& line : Queue()->Records().back()->Lines())
    paused = paused || line.find(L"[任务状态] 暂停下载,") != std::wstring::npos;
  EXPECT_TRUE(paused);
  EXPECT_TRUE(m_drive.Exists("file.bin.vkdt.vkmt"));

  ASSERT_TRUE(Start(3'000'000, L"127.0.0.2"));
  std::vector<CHttpDownloadPeer*> peers = Peers();
  ASSERT_EQ(peers.size(), 2u);
  EXPECT_EQ(peers[0]->Block()->start, 100u);
  EXPECT_EQ(peers[0]->Block()->end, L - 1);
  EXPECT_EQ(peers[1]->Block()->start, 2 * L);
  // The saved lines come first, then this run's.
  EXPECT_NE(Task()->Log()->Lines().front().find(L"开始下载"), std::wstring::npos);
}

TEST_F(DownloadTaskTest, ATargetWhoseDataFileCannotBeMadeFailsWithSix) {
  ASSERT_TRUE(Start(4096, L"", L"", 0, kHash, L"C:\\missing\\dir\\file.bin"));
  EXPECT_TRUE(g_outcome.called);
  EXPECT_EQ(g_outcome.et, 3);
  EXPECT_EQ(g_outcome.ec, DL_TASK_FILE_ERROR);
  EXPECT_TRUE(Queue()->Tasks().empty());
}

TEST_F(DownloadTaskTest, EveryTickReportsProgress) {
  ASSERT_TRUE(Start(5'000'000));
  Second();
  Second();
  EXPECT_EQ(g_progressCalls, 2);
}

TEST_F(DownloadTaskTest, ATransferFarBelowAUsefulSpeedTimesOutLikeASilentOne) {
  struct Case {
    const char* name;
    uint32_t bytesPerSecond;
    bool timesOut;  // within 40 s
  };
  const Case cases[] = {
      {"silent", 0, true},
      {"a byte a second", 1, true},
      {"half a KiB a second", 512, true},
      {"a slow but working link, 2 KiB a second", 2048, false},
      {"a fast link", 1'000'000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Start(40'000'000));
    CHttpDownloadPeer* peer = Peers().at(0);
    peer->OnHeaders(206, ProtoValue());  // the response begins: the attempt's clock starts
    int timedOutAt = 0;
    for (int second = 1; second <= 40 && timedOutAt == 0; ++second) {
      if (c.bytesPerSecond != 0) peer->OnProgress(c.bytesPerSecond);
      m_clock.Advance(1000);
      m_manager.CheckTimeouts();
      if (peer->delayed) timedOutAt = second;
    }
    EXPECT_EQ(timedOutAt != 0, c.timesOut) << timedOutAt;
    if (c.timesOut) {
      EXPECT_LE(timedOutAt, 17);
      EXPECT_TRUE(LogHas(L"[源重试] 下载源dl.example 第1次重试 et:3 ec:3002"));
    }
    Queue()->CancelDownloadFile(Task()->GetFullPath());
  }
}

// A meta file that says nothing is missing, beside data files of two sizes: only a data file at its
// full size was written by the task; anything else starts afresh instead of becoming the target.
TEST_F(DownloadTaskTest, OnlyADataFileAtItsFullSizeIsTakenForTheSavedProgress) {
  constexpr int64_t kSize = 4096;
  struct Case {
    const char* name;
    size_t dataBytes;
    bool completes;
  };
  for (const Case& c : {Case{"a data file cut short by a failed start", 0, false},
                        Case{"the whole data file", kSize, true}}) {
    SCOPED_TRACE(c.name);
    g_outcome = {};
    const std::string data(c.dataBytes, 'd');
    m_drive.Write("file.bin.vkdt", data);
    ASSERT_TRUE(SaveMetaWithNothingMissing(kSize));
    ASSERT_TRUE(Start(kSize));
    EXPECT_EQ(g_outcome.called, c.completes);
    if (c.completes) {
      EXPECT_EQ(g_outcome.et, 0);
      EXPECT_EQ(m_drive.Read("file.bin"), data);
    } else {
      ASSERT_NE(Task(), nullptr);
      EXPECT_EQ(DownloadedBytes(Task()->Gaps(), kSize), 0);
      EXPECT_EQ(m_manager.RequestCount(), 1u);
      Queue()->CancelDownloadFile(Task()->GetFullPath());
    }
  }
}

// A complete data file whose target cannot be replaced stays with its meta file; the next run
// moves it, and only it.
TEST_F(DownloadTaskTest, AMoveThatFailsKeepsTheDataForTheNextRun) {
  constexpr int64_t kSize = 4096;
  const std::string data(kSize, 'd');
  m_drive.Write("file.bin.vkdt", data);
  ASSERT_TRUE(SaveMetaWithNothingMissing(kSize));
  m_drive.Write("file.bin", "old");
  // Held without delete sharing: the target cannot be replaced.
  const platform::FileHandle held = platform::CreateFile(engine_test::TempDrive::Path("file.bin"), platform::GENERIC_READ,
                                                         platform::FILE_SHARE_READ, platform::OPEN_EXISTING, false);
  ASSERT_NE(held, platform::kInvalidFile);
  ASSERT_TRUE(Start(kSize));
  platform::CloseHandle(held);
  ASSERT_TRUE(g_outcome.called);
  EXPECT_NE(g_outcome.et, 0);
  EXPECT_NE(g_outcome.et, 3);
  EXPECT_EQ(g_outcome.ec, 0);
  EXPECT_EQ(m_drive.Read("file.bin"), "old");
  EXPECT_TRUE(m_drive.Exists("file.bin.vkdt.vkmt"));

  g_outcome = {};
  ASSERT_TRUE(Start(kSize));
  ASSERT_TRUE(g_outcome.called);
  EXPECT_EQ(g_outcome.et, 0);
  EXPECT_EQ(m_drive.Read("file.bin"), data);
  EXPECT_FALSE(m_drive.Exists("file.bin.vkdt"));
  EXPECT_EQ(m_manager.RequestCount(), 0u);
}

// Asking ahead. The answers are played by hand: Answer brings a request's response headers
// `latencyMs` after it was sent (and the transfer's measure of that latency), Arrive writes bytes
// into the data file through the request's writer (as the transfer thread would) and reports them
// 10 ms later.
class AheadTest : public DownloadTaskTest {
 protected:
  static constexpr int64_t kSize = 5 * static_cast<int64_t>(L);
  static constexpr uint64_t kFastPer10Ms = 48 * 1024 * 1024 / 100;  // 48 MiB/s

  static char ByteAt(uint64_t offset) { return static_cast<char>((offset * 131) ^ (offset >> 11)); }
  static CVKDownloadFileIO* Writer(CHttpDownloadPeer* request) {
    return static_cast<CCurlDownloadHttp*>(request->transfer.get())->Writer();
  }
  void Answer(CHttpDownloadPeer* request, uint32_t latencyMs) {
    m_clock.Advance(latencyMs);
    static_cast<CCurlDownloadHttp*>(request->transfer.get())->SetResponseLatencyUs(int64_t{latencyMs} * 1000);
    const DownloadBlock* block = request->Block();
    ASSERT_TRUE(Writer(request)->AcceptResponse(
        206, platform::StrFormat(L"bytes %llu-%llu/%lld", block->NextOffset(), block->end, kSize)));
    request->OnHeaders(206, ProtoValue(PV_MAP));
  }
  void Arrive(CHttpDownloadPeer* request, uint64_t count) {
    m_clock.Advance(10);
    const uint64_t at = request->Block()->NextOffset();
    std::string bytes(count, '\0');
    for (uint64_t i = 0; i < count; ++i) bytes[i] = ByteAt(at + i);
    ASSERT_EQ(Writer(request)->Write(bytes.data(), count), static_cast<int>(count));
    request->OnProgress(static_cast<int64_t>(count));
  }
  // The rest of the request's block arrives and its transfer ends.
  void Finish(CHttpDownloadPeer* request) {
    Arrive(request, request->Block()->Length() - request->Block()->WrittenBytes());
    request->Done(ET_CURL, 0);
  }
  // The one source of a task without pinned addresses: its first block arrives alone at
  // `perTenMs` bytes per 10 ms (which gives the source its rate), its second is answered after
  // `latencyMs` and arrives until the source asks ahead or the block is nearly in.
  CHttpDownloadPeer* StartAndReceive(uint32_t latencyMs, uint64_t perTenMs) {
    // Each case starts afresh, not from the meta file the last one left.
    for (const char* name : {"file.bin.vkdt", "file.bin.vkdt.vkmt", "file.bin.vkdt.vkmt.mbk"})
      std::remove(m_drive.Host(name).c_str());
    EXPECT_TRUE(Start(kSize));
    CHttpDownloadPeer* source = Peers().at(0);
    Answer(source, latencyMs);
    while (source->Block()->WrittenBytes() + perTenMs < L) Arrive(source, perTenMs);
    Finish(source);
    EXPECT_TRUE(HasBlock(source, L));
    Answer(source, latencyMs);
    while (source->Lane() == nullptr && source->Block()->WrittenBytes() + 2 * perTenMs < L) Arrive(source, perTenMs);
    return source;
  }
  bool HasBlock(const CHttpDownloadPeer* request, uint64_t start) const {
    return request != nullptr && request->Block() != nullptr && request->Block()->start == start;
  }
};

// Before asking ahead a source held one block at a time; now it holds a second one, requested
// while the first arrives, where the round trip is a real share of a block's time, and only there.
TEST_F(AheadTest, ASourceAsksAheadOnALongRoundTripAndNotOnAShortOneNorOnASlowLink) {
  struct Case {
    const char* name;
    uint32_t latencyMs;
    uint64_t perTenMs;
    bool ahead;
  };
  const Case cases[] = {
      {"48 MiB/s, 80 ms", 80, kFastPer10Ms, true},
      {"24 MiB/s, 40 ms", 40, kFastPer10Ms / 2, true},
      {"48 MiB/s, 2 ms: a short round trip", 2, kFastPer10Ms, false},
      {"1 MiB/s, 40 ms: a slow link", 40, 1024 * 1024 / 100, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CHttpDownloadPeer* source = StartAndReceive(c.latencyMs, c.perTenMs);
    ASSERT_EQ(Peers().size(), 1u);
    EXPECT_TRUE(HasBlock(source, L));
    if (c.ahead) {
      CHttpDownloadPeer* lane = source->Lane();
      ASSERT_TRUE(HasBlock(lane, 2 * L)) << Task()->DescribeBlocks();
      EXPECT_TRUE(lane->started);
      EXPECT_EQ(lane->GetUrl(), source->GetUrl());
      EXPECT_EQ(lane->GetName(), source->GetName());
      EXPECT_EQ(m_manager.RequestCount(), 2u);
      // The block ahead arrives as the first ends; its bytes count for the source.
      Answer(lane, c.latencyMs);
      Arrive(lane, c.perTenMs);
      Finish(source);
      EXPECT_TRUE(HasBlock(lane, 2 * L));
      // The source's own request takes the next block ahead at once: the lane's block will end
      // within two round trips.
      EXPECT_TRUE(HasBlock(source, 3 * L)) << Task()->DescribeBlocks();
      EXPECT_EQ(Task()->GetCompletedSize(), static_cast<int64_t>(2 * L + c.perTenMs));
      m_clock.Advance(1000);
      EXPECT_GT(source->m_meter.Update(), 0u);
    } else {
      EXPECT_EQ(source->Lane(), nullptr);
      EXPECT_EQ(m_manager.RequestCount(), 1u);
      Finish(source);
      EXPECT_TRUE(HasBlock(source, 2 * L));  // the next block, on the same request
      EXPECT_EQ(source->Lane(), nullptr);
    }
    Queue()->CancelDownloadFile(Task()->GetFullPath());
  }
}

// A request ahead that fails costs the source nothing but the ahead: its block is free again and
// the source goes on one block at a time. A failure of the arriving block drops the source as
// before, with both its blocks.
TEST_F(AheadTest, AFailedRequestAheadLeavesTheSourceWorkingOneBlockAtATime) {
  struct Case {
    const char* name;
    bool aheadFails;
    int et;
    int ec;
  };
  const Case cases[] = {
      {"the request ahead is refused with 503", true, ET_HTTP, 503},
      {"the request ahead gets a wrong length", true, ET_USER, DL_ERROR_LENGTH},
      {"the arriving block fails", false, ET_HTTP, 503},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CHttpDownloadPeer* source = StartAndReceive(80, kFastPer10Ms);
    ASSERT_TRUE(HasBlock(source->Lane(), 2 * L));
    if (!c.aheadFails) {
      source->Done(c.et, c.ec);
      EXPECT_TRUE(Peers().empty());
      EXPECT_TRUE(LogHas(platform::StrFormat(L"[源失败] 源：dl.example失败,et:%d,ec:%d", c.et, c.ec)));
      EXPECT_EQ(Task()->DescribeBlocks(), platform::StrFormat(L"block() gap( %llu-%lld)", L, kSize - 1));
      Queue()->CancelDownloadFile(Task()->GetFullPath());
      continue;
    }
    source->Lane()->Done(c.et, c.ec);
    ASSERT_EQ(Peers().size(), 1u);
    EXPECT_EQ(source->Lane(), nullptr);
    EXPECT_TRUE(source->m_oneAtATime);
    EXPECT_TRUE(HasBlock(source, L));
    EXPECT_FALSE(LogHas(L"[源失败]"));
    EXPECT_TRUE(m_log.Has(L"提前请求的文件块失败"));
    // The working request goes on, and the freed block is the next one it gets; no more asking
    // ahead, however long the round trip.
    Finish(source);
    ASSERT_TRUE(HasBlock(source, 2 * L));
    Answer(source, 80);
    Arrive(source, kFastPer10Ms);
    Arrive(source, kFastPer10Ms);
    EXPECT_EQ(source->Lane(), nullptr);
    EXPECT_EQ(m_manager.RequestCount(), 1u);
    Queue()->CancelDownloadFile(Task()->GetFullPath());
  }
}

// A stop with two blocks in flight saves what each of them has written: the next run asks for
// both from their first missing byte.
TEST_F(AheadTest, AStopWithTwoBlocksInFlightSavesBothBlocksWrittenBytes) {
  CHttpDownloadPeer* source = StartAndReceive(80, kFastPer10Ms);
  CHttpDownloadPeer* lane = source->Lane();
  ASSERT_TRUE(HasBlock(lane, 2 * L));
  Arrive(source, 5000);
  Answer(lane, 80);
  Arrive(lane, 1000);
  const uint64_t first = L + source->Block()->WrittenBytes();
  EXPECT_EQ(Task()->GetCompletedSize(), static_cast<int64_t>(first + 1000));
  CancelDownload(kUrl, engine_test::TempDrive::Path("file.bin").c_str());
  ASSERT_TRUE(Queue()->Tasks().empty());

  ASSERT_TRUE(Start(kSize));
  CHttpDownloadPeer* again = Peers().at(0);
  EXPECT_TRUE(HasBlock(again, first));
  EXPECT_EQ(again->Block()->end, 2 * L - 1);
  EXPECT_EQ(Task()->DescribeBlocks(), platform::StrFormat(L"block( %llu-%llu) gap( %llu-%llu %llu-%lld)", first,
                                                          2 * L - 1, first, 2 * L - 1, 2 * L + 1000, kSize - 1));
  const std::string data = m_drive.Read("file.bin.vkdt");
  for (uint64_t at : {uint64_t{0}, L - 1, L, first - 1, 2 * L, 2 * L + 999}) EXPECT_EQ(data[at], ByteAt(at)) << at;
}

}  // namespace
