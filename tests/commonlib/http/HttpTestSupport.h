// Helpers of the HTTP tests: the trace channel captured, a controllable tick source, and the main
// thread's loop run until a condition holds (main-thread tasks and timers included).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "commonlib/http/HttpHousekeeping.h"
#include "commonlib/http/HttpStack.h"
#include "commonlib/thread/MainThreadDispatcher.h"
#include "platform/clock.h"
#include "platform/message_loop.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "platform/timer.h"
#include "tests/support/TraceCapture.h"

namespace http_test {


// The tick count (and so every timer check of the HTTP layer) under the test's control.
class FakeTicks {
 public:
  explicit FakeTicks(uint64_t startMs = 1000000) {
    Now() = startMs;
    platform::TestClock clock;
    clock.tickMs = [] { return Now().load(); };
    platform::SetClockForTesting(clock);
  }
  ~FakeTicks() { platform::SetClockForTesting({}); }
  FakeTicks(const FakeTicks&) = delete;
  FakeTicks& operator=(const FakeTicks&) = delete;

  void Advance(uint64_t ms) { Now() += ms; }
  uint32_t Tick() const { return static_cast<uint32_t>(Now().load()); }

 private:
  static std::atomic<uint64_t>& Now() {
    static std::atomic<uint64_t> now{0};
    return now;
  }
};

// Runs the calling (main) thread's loop until done() holds or timeoutMs of real time have passed;
// returns done(). A short thread timer keeps the loop looking at the condition.
inline bool PumpUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
  if (done()) return true;
  const uint64_t deadline = platform::GetTickCount64() + timeoutMs;
  const platform::UINT_PTR timer = platform::SetTimer(nullptr, 0, 10, [](platform::HWND, platform::UINT,
                                                                         platform::UINT_PTR, uint32_t) {});
  platform::RunNestedMessageLoop([&] { return done() || platform::GetTickCount64() >= deadline; });
  platform::KillTimer(nullptr, timer);
  return done();
}

// Runs the loop for `ms` of real time.
inline void PumpFor(uint32_t ms) {
  const uint64_t deadline = platform::GetTickCount64() + ms;
  PumpUntil([&] { return platform::GetTickCount64() >= deadline; }, ms + 1000);
}

// The application's side of the command stack for a test: the dispatcher, the stack and the
// 500 ms housekeeping timer, as the application sets them up.
class CommandStackScope {
 public:
  CommandStackScope() {
    InitMainThreadDispatcher();
    CommandHttpStack().Start();
    m_timer = platform::SetTimer(nullptr, 0, CHttpHousekeeping::kPeriodMs, &OnHousekeeping);
  }
  ~CommandStackScope() {
    platform::KillTimer(nullptr, m_timer);
    CommandHttpStack().Stop();
  }
  CommandStackScope(const CommandStackScope&) = delete;
  CommandStackScope& operator=(const CommandStackScope&) = delete;

 private:
  static void OnHousekeeping(platform::HWND, platform::UINT, platform::UINT_PTR, uint32_t) {
    static CHttpHousekeeping housekeeping;
    housekeeping.Tick(nullptr, GetCommandHttpMgr());
  }
  platform::UINT_PTR m_timer = 0;
};

}  // namespace http_test
