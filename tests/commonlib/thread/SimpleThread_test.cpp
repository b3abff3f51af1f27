// labels: threaded
#include "commonlib/thread/SimpleThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TraceCapture.h"
#include "platform/text.h"

namespace {

bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 10000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return done();
}

// What a worker shares with the test; outlives the worker's owner.
struct Shared {
  std::atomic<int> runs{0};
  std::atomic<bool> started{false};
  std::atomic<bool> release{false};
  std::atomic<bool> finished{false};
};

enum class Body { kUntilStopped, kReturnAtOnce, kIgnoreStop };

class Worker : public CSimpleThread {
 public:
  Worker(Body body, std::shared_ptr<Shared> shared) : m_body(body), m_shared(std::move(shared)) {}
  ~Worker() override { DestroyThread(5000); }

 protected:
  void Run() override {
    // Everything the body needs is taken now; an abandoned body touches nothing of this object.
    const auto shared = m_shared;
    const auto stop = StopFlag();
    const Body body = m_body;
    ++shared->runs;
    shared->started = true;
    if (body == Body::kUntilStopped) {
      while (stop->SleepUnlessSet(10000)) {
      }
    } else if (body == Body::kIgnoreStop) {
      while (!shared->release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    shared->finished = true;
  }

 private:
  Body m_body;
  std::shared_ptr<Shared> m_shared;
};

std::wstring TimeoutLine(uint32_t tid) {
  return L"CSimpleThread::DestroyThread线程结束超时 tid:" + std::to_wstring(tid) + L" ";
}

bool AnyLineHas(const std::vector<std::wstring>& lines, const std::wstring& text) {
  for (const auto& line : lines)
    if (line.find(text) != std::wstring::npos) return true;
  return false;
}

TEST(SimpleThreadTest, StartingARunningThreadStartsNothingAndStopEndsItsWaits) {
  vkqx_test::TraceCapture trace;
  auto shared = std::make_shared<Shared>();
  Worker worker(Body::kUntilStopped, shared);
  ASSERT_TRUE(worker.StartThread());
  ASSERT_TRUE(WaitFor([&] { return shared->started.load(); }));
  EXPECT_NE(worker.GetThreadId(), 0u);
  EXPECT_TRUE(worker.StartThread());
  EXPECT_EQ(shared->runs, 1);
  EXPECT_TRUE(worker.DestroyThread(60000));  // ends the 10 s sleep at once
  EXPECT_TRUE(shared->finished);
  EXPECT_FALSE(worker.IsRunning());
  EXPECT_EQ(worker.GetThreadId(), 0u);
  EXPECT_FALSE(AnyLineHas(trace.Lines(), L"DestroyThread"));
}

TEST(SimpleThreadTest, AnEndedThreadIsClosedWithoutWaitingAndCanBeStartedAgain) {
  vkqx_test::TraceCapture trace;
  auto shared = std::make_shared<Shared>();
  Worker worker(Body::kReturnAtOnce, shared);
  ASSERT_TRUE(worker.StartThread());
  ASSERT_TRUE(WaitFor([&] { return !worker.IsRunning(); }));
  EXPECT_TRUE(worker.StartThread());
  ASSERT_TRUE(WaitFor([&] { return shared->runs == 2 && !worker.IsRunning(); }));
  EXPECT_TRUE(worker.DestroyThread(0));
  EXPECT_TRUE(worker.DestroyThread(0));  // nothing left
  EXPECT_FALSE(AnyLineHas(trace.Lines(), L"DestroyThread"));
}

TEST(SimpleThreadTest, AThreadIgnoringStopIsAbandonedAfterTheTimeoutAndOutlivesItsOwner) {
  vkqx_test::TraceCapture trace;
  auto shared = std::make_shared<Shared>();
  auto worker = std::make_unique<Worker>(Body::kIgnoreStop, shared);
  ASSERT_TRUE(worker->StartThread());
  ASSERT_TRUE(WaitFor([&] { return shared->started.load(); }));
  const uint32_t tid = worker->GetThreadId();
  EXPECT_TRUE(worker->DestroyThread(50));
  EXPECT_FALSE(shared->finished);
  const auto lines = trace.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind(L"[ERRO][", 0), 0u);
  EXPECT_NE(lines[0].find(L"]" + TimeoutLine(tid) + L"\r\n"), std::wstring::npos) << platform::WideToUtf8(lines[0]);

  worker.reset();  // the owner goes while its thread still runs
  shared->release = true;
  EXPECT_TRUE(WaitFor([&] { return shared->finished.load(); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let the thread run to its very end
}

// A worker that waits on its own condition, not on the stop flag, and is woken by the stop hook.
// Were the hook called before the flag is set, the woken loop would find no stop request, wait
// again and never end.
class SelfWakingWorker : public CSimpleThread {
 public:
  ~SelfWakingWorker() override { DestroyThread(5000); }
  std::atomic<bool> flagSeenByHook{false};
  std::atomic<bool> ended{false};

 protected:
  void Run() override {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!IsStopRequested()) {
      m_woken.wait(lock, [this] { return m_wake; });
      m_wake = false;
    }
    ended = true;
  }
  void OnStopRequested() override {
    flagSeenByHook = IsStopRequested();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_wake = true;
    m_woken.notify_all();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_woken;
  bool m_wake = false;
};

TEST(SimpleThreadTest, TheStopHookRunsAfterTheFlagIsSetSoASelfWakingWorkerEnds) {
  SelfWakingWorker worker;
  ASSERT_TRUE(worker.StartThread());
  EXPECT_TRUE(worker.DestroyThread(5000));
  EXPECT_TRUE(worker.flagSeenByHook);
  EXPECT_TRUE(worker.ended);
}

TEST(StopFlagTest, WaitsEndEarlyWhenTheFlagIsSet) {
  CStopFlag flag;
  EXPECT_TRUE(flag.SleepUnlessSet(1));
  EXPECT_FALSE(flag.WaitUntil([] { return false; }, 5, 1));
  int polls = 0;
  EXPECT_TRUE(flag.WaitUntil([&] { return ++polls == 3; }, 60000, 1));
  std::thread setter([&] { flag.Set(); });
  EXPECT_FALSE(flag.WaitUntil([] { return false; }, 60000));
  EXPECT_FALSE(flag.SleepUnlessSet(60000));
  setter.join();
  EXPECT_TRUE(flag.IsSet());
}

}  // namespace
