// Helpers of the HTTP tests: the trace channel captured, a controllable tick source, and the main
// thread's loop run until a condition holds (main-thread tasks and timers included).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "commonlib/http/HttpHousekeeping.h"
#include "commonlib/http/HttpStack.h"
#include "commonlib/thread/MainThreadDispatcher.h"
#include "platform/clock.h"
#include "platform/debug_channel.h"
#include "platform/message_loop.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "platform/timer.h"

namespace http_test {

// Every line that reaches the debugger channel while alive, from any thread.
class TraceCapture {
 public:
  TraceCapture() {
    platform::SetDebugCaptureForTesting([this](std::wstring_view line) {
      std::lock_guard<std::mutex> guard(m_mutex);
      m_lines.emplace_back(line);
    });
  }
  ~TraceCapture() { platform::SetDebugCaptureForTesting({}); }
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  std::vector<std::wstring> Lines() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_lines;
  }
  // Lines holding `text`.
  size_t Count(const std::wstring& text) const {
    size_t n = 0;
    for (const std::wstring& line : Lines())
      if (line.find(text) != std::wstring::npos) ++n;
    return n;
  }
  bool Has(const std::wstring& text) const { return Count(text) > 0; }
  void Clear() {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_lines.clear();
  }
  std::string Dump() const {
    std::string out;
    for (const std::wstring& line : Lines()) out += platform::WideToUtf8(line);
    return out;
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<std::wstring> m_lines;
};

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
