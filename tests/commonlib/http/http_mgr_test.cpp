// The scheduler with requests that never reach a network: the limit of ten, the retry delay and
// the attempt timeout on a controllable tick count, event routing, start failures and the
// repair of a miscounted slot count.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "commonlib/http/CurlHttp.h"
#include "commonlib/http/HttpBase.h"
#include "commonlib/http/HttpHousekeeping.h"
#include "commonlib/http/HttpMgr.h"
#include "tests/commonlib/http/HttpTestSupport.h"

namespace {

// A request whose attempts go nowhere: Start is the base Start without a workshop, and Done
// records the outcome and then does what the test asks (by default: stop, as a final step does).
class FakeRequest : public CHttpBase {
 public:
  explicit FakeRequest(CHttpMgr* manager) : CHttpBase(nullptr, manager) {}

  HttpOutcome Start() override {
    ++starts;
    if (startResult != HttpOutcome(0, 0)) return startResult;
    return CHttpBase::Start();
  }
  void Done(int type, int code) override {
    outcomes.emplace_back(type, code);
    if (onDone) {
      onDone(*this);
    } else {
      Stop();
    }
  }
  // A transfer of its own, as a derived Start gives one, so that events can name it.
  CRefPtr<CCurlBase> GiveTransfer() {
    transfer = CRefPtr<CCurlHttp>(new CCurlHttp(nullptr, manager));
    return CRefPtr<CCurlBase>(transfer.get());
  }

  int starts = 0;
  HttpOutcome startResult{0, 0};
  std::vector<HttpOutcome> outcomes;
  std::function<void(FakeRequest&)> onDone;
};

std::vector<std::unique_ptr<FakeRequest>> MakeRequests(CHttpMgr& manager, int n) {
  std::vector<std::unique_ptr<FakeRequest>> requests;
  for (int i = 0; i < n; ++i) requests.push_back(std::make_unique<FakeRequest>(&manager));
  return requests;
}

TEST(HttpMgrTest, ElevenRequestsTenStartInOrderTheEleventhWhenOneLeaves) {
  CHttpMgr manager;
  auto requests = MakeRequests(manager, 11);
  uint32_t previousId = 0;
  for (auto& r : requests) {
    const auto [id, tick] = manager.Add(r.get());
    EXPECT_GT(id, previousId);
    previousId = id;
  }
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(requests[i]->started) << i;
  EXPECT_FALSE(requests[10]->started);
  EXPECT_EQ(10, manager.runningCount);

  requests[0]->Stop();
  EXPECT_TRUE(requests[10]->started);
  EXPECT_EQ(10, manager.runningCount);
  EXPECT_EQ(10u, manager.RequestCount());
}

TEST(HttpMgrTest, FullManagerLogsTheExcessAndStartsNothing) {
  vkqx_test::TraceCapture trace;
  CHttpMgr manager;
  auto requests = MakeRequests(manager, 11);
  for (auto& r : requests) manager.Add(r.get());
  EXPECT_TRUE(trace.Has(L"CHttpMgr::Schedule() 任务数超标 running:10 max:10 total:11"));
  EXPECT_TRUE(trace.Has(L"CHttpMgr::Schedule() 调度任务 running:9 max:10 total:10"));
}

TEST(HttpMgrTest, DelayedRequestStartsInTheTickThatFindsItsDelayOver) {
  http_test::FakeTicks ticks;
  CHttpMgr manager;
  FakeRequest request(&manager);
  request.delayed = true;
  request.delayTick = ticks.Tick();
  manager.Add(&request);
  EXPECT_FALSE(request.started);

  CHttpHousekeeping housekeeping;
  ticks.Advance(500);
  housekeeping.Tick(nullptr, &manager);
  EXPECT_FALSE(request.started);  // exactly 500 ms is not over
  ticks.Advance(500);
  housekeeping.Tick(nullptr, &manager);
  EXPECT_TRUE(request.started);
  EXPECT_FALSE(request.delayed);
}

TEST(HttpMgrTest, SilentTransferTimesOutBetween20And21Seconds) {
  http_test::FakeTicks ticks;
  CHttpMgr manager;
  FakeRequest request(&manager);
  request.timeoutMs = 20000;
  manager.Add(&request);
  // The housekeeping timer has been running for a while, out of step with the transfer.
  CHttpHousekeeping housekeeping;
  housekeeping.Tick(nullptr, &manager);
  ticks.Advance(250);
  const CRefPtr<CCurlBase> transfer = request.GiveTransfer();
  manager.OnTransferAdded(transfer, 0);
  const uint32_t added = ticks.Tick();

  while (request.outcomes.empty() && ticks.Tick() - added < 30000) {
    ticks.Advance(500);
    housekeeping.Tick(nullptr, &manager);
  }
  ASSERT_EQ(1u, request.outcomes.size());
  EXPECT_EQ(HttpOutcome(3, 3002), request.outcomes[0]);
  const uint32_t elapsed = ticks.Tick() - added;
  EXPECT_GT(elapsed, 20000u);
  EXPECT_LE(elapsed, 21000u);
}

TEST(HttpMgrTest, OnlyRequestsWithoutTimeoutAreNeverTimedOut) {
  http_test::FakeTicks ticks;
  CHttpMgr manager;
  FakeRequest noTimeout(&manager);
  FakeRequest notAdded(&manager);  // the workshop dropped its transfer: no event ever comes
  notAdded.timeoutMs = 1000;
  manager.Add(&noTimeout);
  manager.Add(&notAdded);
  manager.OnTransferAdded(noTimeout.GiveTransfer(), 0);
  ticks.Advance(1000);
  manager.CheckTimeouts();
  EXPECT_TRUE(notAdded.outcomes.empty());
  ticks.Advance(1);
  manager.CheckTimeouts();
  EXPECT_EQ((std::vector<HttpOutcome>{{3, 3002}}), notAdded.outcomes);
  ticks.Advance(100000);
  manager.CheckTimeouts();
  EXPECT_TRUE(noTimeout.outcomes.empty());
}

TEST(HttpMgrTest, TimeoutWalkSkipsARequestAnEarlierDoneDestroyed) {
  http_test::FakeTicks ticks;
  CHttpMgr manager;
  auto first = std::make_unique<FakeRequest>(&manager);
  auto second = std::make_unique<FakeRequest>(&manager);
  for (FakeRequest* r : {first.get(), second.get()}) {
    r->timeoutMs = 1000;
    manager.Add(r);
    manager.OnTransferAdded(r->GiveTransfer(), 0);
  }
  first->onDone = [&](FakeRequest& self) {
    self.Stop();
    second.reset();  // an owner that ends a related request on the spot
  };
  ticks.Advance(2000);
  manager.CheckTimeouts();
  EXPECT_EQ(1u, first->outcomes.size());
  EXPECT_EQ(0u, manager.RequestCount());
}

TEST(HttpMgrTest, EventsReachOnlyTheRequestOwningTheTransfer) {
  CHttpMgr manager;
  FakeRequest request(&manager);
  FakeRequest other(&manager);
  manager.Add(&request);
  manager.Add(&other);
  const CRefPtr<CCurlBase> first = request.GiveTransfer();
  other.GiveTransfer();

  manager.OnHeaders(first, 301, ProtoValue());
  EXPECT_TRUE(request.redirected);
  EXPECT_FALSE(other.redirected);

  // The request moves on to a new transfer: the old one's events are stale.
  request.GiveTransfer();
  manager.OnTransferDone(first, 7);
  EXPECT_TRUE(request.outcomes.empty());

  // A stopped request is no longer registered: its transfer's events go nowhere.
  const CRefPtr<CCurlBase> current(request.transfer.get());
  request.Stop();
  manager.OnTransferDone(current, 7);
  manager.OnTransferAdded(current, 0);
  EXPECT_TRUE(request.outcomes.empty());
  EXPECT_EQ(0u, request.startTick);

  const CRefPtr<CCurlBase> otherTransfer(other.transfer.get());
  manager.OnTransferDone(otherTransfer, 28);
  ASSERT_EQ(1u, other.outcomes.size());
  EXPECT_EQ(HttpOutcome(5, 28), other.outcomes[0]);
}

TEST(HttpMgrTest, ProgressIsSignExtended) {
  struct ProgressRequest : FakeRequest {
    using FakeRequest::FakeRequest;
    void OnProgress(int64_t bytes) override { seen.push_back(bytes); }
    std::vector<int64_t> seen;
  };
  CHttpMgr manager;
  ProgressRequest request(&manager);
  manager.Add(&request);
  const CRefPtr<CCurlBase> transfer = request.GiveTransfer();
  manager.OnRecvProgress(transfer, 1000);
  manager.OnSendProgress(transfer, 0xFFFFFFFFu);
  EXPECT_EQ((std::vector<int64_t>{1000, -1}), request.seen);
}

TEST(HttpMgrTest, StartResultsReachDoneAndTheWalkStartsAgain) {
  vkqx_test::TraceCapture trace;
  CHttpMgr manager;
  FakeRequest nothingLeft(&manager);
  nothingLeft.startResult = {3, 2005};
  FakeRequest failing(&manager);
  failing.startResult = {1, 5};
  FakeRequest fine(&manager);

  nothingLeft.delayed = failing.delayed = fine.delayed = true;
  manager.Add(&nothingLeft);
  manager.Add(&failing);
  manager.Add(&fine);
  nothingLeft.delayed = failing.delayed = fine.delayed = false;
  manager.Schedule();

  EXPECT_EQ((std::vector<HttpOutcome>{{0, 0}}), nothingLeft.outcomes);
  EXPECT_EQ((std::vector<HttpOutcome>{{1, 5}}), failing.outcomes);
  EXPECT_TRUE(fine.started);
  EXPECT_EQ(1, fine.starts);
  EXPECT_EQ(2u, trace.Count(L"CHttpMgr::Schedule 有调度任务开始失败，重新调度"));
}

TEST(HttpMgrTest, DuplicateAddKeepsOneEntryAndItsNumber) {
  vkqx_test::TraceCapture trace;
  CHttpMgr manager;
  FakeRequest request(&manager);
  request.url = L"http://dup.test/x";
  const auto first = manager.Add(&request);
  const auto second = manager.Add(&request);
  EXPECT_EQ(first, second);
  EXPECT_EQ(1u, manager.RequestCount());
  EXPECT_EQ(1u, trace.Count(L"http请求重复添加 url:http://dup.test/x"));
}

TEST(HttpMgrTest, MiscountedRunningCountIsRecountedFromTheFlags) {
  vkqx_test::TraceCapture trace;
  CHttpMgr manager;
  auto requests = MakeRequests(manager, 3);
  for (auto& r : requests) manager.Add(r.get());
  EXPECT_EQ(3, manager.runningCount);
  manager.runningCount = 12;  // an owner that forgot to remove its requests
  manager.Schedule();
  EXPECT_EQ(3, manager.runningCount);
  EXPECT_TRUE(trace.Has(L"CHttpMgr::Schedule() 正在运行的任务数计算出错，重新计算中 running:12 max:10 total:3"));
}

TEST(HttpMgrTest, ClearDetachesTheRequests) {
  CHttpMgr manager;
  FakeRequest request(&manager);
  manager.Add(&request);
  manager.Clear();
  EXPECT_EQ(nullptr, request.manager);
  EXPECT_EQ(nullptr, request.workshop);
  EXPECT_EQ(0u, manager.RequestCount());
  EXPECT_EQ(0, manager.runningCount);
  request.Stop();  // no manager to unregister from any more
}

TEST(HttpHousekeepingTest, TimeoutsEverySecondTickRetryDelaysEveryTick) {
  http_test::FakeTicks ticks;
  CHttpMgr download;
  CHttpMgr command;
  FakeRequest slow(&command);
  slow.timeoutMs = 1;
  command.Add(&slow);
  command.OnTransferAdded(slow.GiveTransfer(), 0);
  FakeRequest waiting(&download);
  waiting.delayed = true;
  waiting.delayTick = ticks.Tick();
  download.Add(&waiting);

  CHttpHousekeeping housekeeping;
  ticks.Advance(10);
  housekeeping.Tick(&download, &command);  // tick 0: timeouts and delays
  EXPECT_EQ(1u, slow.outcomes.size());
  EXPECT_FALSE(waiting.started);

  slow.Stop();
  command.Add(&slow);
  command.OnTransferAdded(slow.GiveTransfer(), 0);
  ticks.Advance(600);
  housekeeping.Tick(&download, &command);  // tick 1: delays only
  EXPECT_EQ(1u, slow.outcomes.size());
  EXPECT_TRUE(waiting.started);
  housekeeping.Tick(nullptr, &command);  // tick 2: timeouts again; a missing manager is skipped
  EXPECT_EQ(2u, slow.outcomes.size());
}

}  // namespace
