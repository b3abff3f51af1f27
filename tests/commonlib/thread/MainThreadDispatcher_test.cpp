#include "commonlib/thread/MainThreadDispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "commonlib/thread/MainThreadTask.h"
#include "platform/clock.h"
#include "platform/message_loop.h"
#include "platform/window.h"

namespace {

std::atomic<int64_t> g_nowMs{1'700'000'000'000};
void Advance(int64_t ms) { g_nowMs += ms; }

std::vector<std::string> g_ran;
int g_destroyed = 0;

void Record(void*, const std::string& name, int advanceMs, int) {
  g_ran.push_back(name);
  Advance(advanceMs);
}

void PostAnother(void*, const std::string& name, int, int) {
  g_ran.push_back(name);
  PostMainThreadTask(&Record, nullptr, std::string(name + "+child"), 0, 0);
}

struct CountingTask : MainThreadTaskBase {
  void Run() override { g_ran.push_back("counting"); }
  ~CountingTask() override { ++g_destroyed; }
};

void PostCounting() {
  CRefPtr<MainThreadTaskBase> task(new CountingTask);
  PostToMainThread(&RunMainThreadTask, task);
}

class DispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetClockForTesting({[] { return static_cast<uint64_t>(g_nowMs.load()); },
                                  [] { return g_nowMs.load(); },
                                  [] { return g_nowMs.load() * 1'000'000; }});
    g_ran.clear();
    g_destroyed = 0;
    m_wake = platform::RegisterWindowMessage(kMainThreadWakeMessageName);
    InitMainThreadDispatcher();
  }
  void TearDown() override {
    ShutdownMainThreadDispatcher();
    platform::MSG msg;
    while (platform::PeekMessage(&msg, platform::PM_REMOVE)) {
    }
    platform::SetClockForTesting({});
  }

  // Takes the wake messages queued now, one at a time; returns the number of them and what had
  // run after each.
  std::vector<std::vector<std::string>> PumpEach() {
    std::vector<std::vector<std::string>> after;
    platform::MSG msg;
    while (platform::PeekMessage(&msg, platform::PM_REMOVE)) {
      if (msg.message != m_wake) continue;
      platform::DispatchMessage(&msg);
      after.push_back(g_ran);
    }
    return after;
  }

  platform::UINT m_wake = 0;
};

TEST_F(DispatcherTest, ABurstOfPostsRunsInOrderOnOneWakeMessage) {
  PostMainThreadTask(&Record, nullptr, std::string("a"), 0, 0);
  PostMainThreadTask(&Record, nullptr, std::string("b"), 0, 0);
  PostMainThreadTask(&Record, nullptr, std::string("c"), 0, 0);
  const auto after = PumpEach();
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0], (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(DispatcherTest, ATaskPostedByATaskRunsInTheSamePumpWithoutAnotherWake) {
  PostMainThreadTask(&PostAnother, nullptr, std::string("a"), 0, 0);
  PostMainThreadTask(&Record, nullptr, std::string("b"), 0, 0);
  const auto after = PumpEach();
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0], (std::vector<std::string>{"a", "b", "a+child"}));
}

TEST_F(DispatcherTest, APumpOverItsBudgetYieldsWithExactlyOneNewWake) {
  PostMainThreadTask(&Record, nullptr, std::string("a"), 40, 0);
  PostMainThreadTask(&Record, nullptr, std::string("b"), 20, 0);  // 60 ms used: yield after it
  PostMainThreadTask(&Record, nullptr, std::string("c"), 0, 0);
  PostMainThreadTask(&Record, nullptr, std::string("d"), 0, 0);
  const auto after = PumpEach();
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after[0], (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(after[1], (std::vector<std::string>{"a", "b", "c", "d"}));
}

TEST_F(DispatcherTest, ExactlyTheBudgetDoesNotYield) {
  PostMainThreadTask(&Record, nullptr, std::string("a"), 50, 0);
  PostMainThreadTask(&Record, nullptr, std::string("b"), 0, 0);
  const auto after = PumpEach();
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0], (std::vector<std::string>{"a", "b"}));
}

TEST_F(DispatcherTest, BoundArgumentsAreCopiedWhenPosted) {
  std::string name = "before";
  PostMainThreadTask(&Record, nullptr, name, 0, 0);
  name = "after";
  PumpEach();
  EXPECT_EQ(g_ran, (std::vector<std::string>{"before"}));
}

TEST_F(DispatcherTest, ShutdownDeletesQueuedTasksUnrun) {
  PostCounting();
  PostCounting();
  EXPECT_EQ(g_destroyed, 0);
  ShutdownMainThreadDispatcher();
  EXPECT_EQ(g_destroyed, 2);
  EXPECT_TRUE(PumpEach().empty());  // the wake message went with the window
  EXPECT_TRUE(g_ran.empty());
}

TEST_F(DispatcherTest, APostAfterShutdownIsDroppedAtOnce) {
  ShutdownMainThreadDispatcher();
  PostCounting();
  EXPECT_EQ(g_destroyed, 1);
  InitMainThreadDispatcher();
  PumpEach();
  EXPECT_TRUE(g_ran.empty());
}

}  // namespace
