// labels: threaded
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "commonlib/thread/MainThreadDispatcher.h"
#include "commonlib/thread/MainThreadTask.h"
#include "platform/message_loop.h"
#include "platform/process_info.h"
#include "platform/window.h"

namespace {

struct Ran {
  int worker;
  int index;
  uint32_t thread;
};
std::vector<Ran> g_ran;

void Record(int worker, void*, const std::string&, const std::string& index) {
  g_ran.push_back({worker, std::stoi(index), platform::GetCurrentThreadId()});
}

class DispatcherThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_ran.clear();
    m_wake = platform::RegisterWindowMessage(kMainThreadWakeMessageName);
    InitMainThreadDispatcher();
  }
  void TearDown() override { ShutdownMainThreadDispatcher(); }
  platform::UINT m_wake = 0;
};

TEST_F(DispatcherThreadsTest, TwoPostsFromAWorkerGiveOneWake) {
  std::thread worker([] {
    PostMainThreadTask(&Record, 0, nullptr, std::string(), std::string("0"));
    PostMainThreadTask(&Record, 0, nullptr, std::string(), std::string("1"));
  });
  worker.join();
  int wakes = 0;
  platform::MSG msg;
  while (platform::PeekMessage(&msg, platform::PM_REMOVE)) {
    wakes += msg.message == m_wake;
    platform::DispatchMessage(&msg);
  }
  EXPECT_EQ(wakes, 1);
  ASSERT_EQ(g_ran.size(), 2u);
  EXPECT_EQ(g_ran[0].index, 0);
  EXPECT_EQ(g_ran[1].index, 1);
}

TEST_F(DispatcherThreadsTest, TasksFromManyWorkersRunOnTheMainThreadInEachWorkersOrder) {
  constexpr int kWorkers = 4, kEach = 250;
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([w] {
      for (int i = 0; i < kEach; ++i)
        PostMainThreadTask(&Record, w, nullptr, std::string("payload"), std::to_string(i));
    });
  }
  platform::MSG msg;
  while (g_ran.size() < kWorkers * kEach && platform::GetMessage(&msg)) platform::DispatchMessage(&msg);
  for (auto& t : workers) t.join();
  std::vector<int> next(kWorkers, 0);
  for (const Ran& r : g_ran) {
    EXPECT_EQ(r.index, next[r.worker]++);
    EXPECT_EQ(r.thread, platform::GetCurrentThreadId());
  }
}

}  // namespace
