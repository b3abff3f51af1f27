// labels: threaded
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "platform/process_info.h"

namespace {

using namespace platform;

TEST(ThreadTest, RunsWithAnIdAndReportsStillActiveUntilItEnds) {
  auto release = std::make_shared<std::atomic<bool>>(false);
  std::atomic<uint32_t> idInside{0};
  auto thread = Thread::Start([release, &idInside] {
    idInside = GetCurrentThreadId();
    while (!*release) std::this_thread::yield();
    return 5u;
  });
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(thread->Id(), 0u);
  EXPECT_NE(thread->Id(), GetCurrentThreadId());
  EXPECT_FALSE(thread->IsCurrent());
  EXPECT_EQ(thread->ExitCode(), STILL_ACTIVE);
  EXPECT_EQ(thread->Wait(20), WAIT_TIMEOUT);
  *release = true;
  EXPECT_EQ(thread->Wait(INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(thread->ExitCode(), 5u);
  EXPECT_EQ(idInside, thread->Id());
}

TEST(ThreadTest, ClosingTheHandleOfARunningThreadAbandonsIt) {
  auto release = std::make_shared<std::atomic<bool>>(false);
  auto finished = std::make_shared<std::atomic<bool>>(false);
  auto thread = Thread::Start([release, finished] {
    while (!*release) std::this_thread::yield();
    *finished = true;
    return 0u;
  });
  ASSERT_NE(thread, nullptr);
  thread.reset();  // neither waits nor kills
  EXPECT_FALSE(*finished);
  *release = true;
  for (int i = 0; i < 5000 && !*finished; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(*finished);
}

}  // namespace
