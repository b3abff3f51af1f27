// Clocks: the 32-bit millisecond tick count since boot, wall clock, local time and the
// high-resolution counter. Tests may replace the tick and wall-clock sources with a controllable
// clock (SetClockForTesting); everything that times something reads these functions.
#pragma once

#include <cstdint>

namespace platform {

// Milliseconds since system start, wrapping at 2^32 like GetTickCount.
uint32_t GetTickCount();
uint64_t GetTickCount64();

// Wall clock: milliseconds since 1970-01-01 UTC, and the Windows file time (100 ns since 1601).
int64_t WallClockMs();
int64_t SystemTimeAsFileTime();

struct LocalTime {
  int year;
  int month;  // 1..12
  int day;    // 1..31
  int hour;
  int minute;
  int second;
  int milliseconds;
  int weekday;  // 0 = Sunday
};
LocalTime GetLocalTime();
// The local time of a count of seconds since 1970-01-01 UTC (milliseconds 0); false when the
// count lies outside what the calendar functions can express.
bool UnixSecondsToLocalTime(int64_t seconds, LocalTime* out);

// The performance counter: always available here.
bool QueryPerformanceCounter(int64_t* count);
bool QueryPerformanceFrequency(int64_t* frequency);

// The timer resolution calls of the pump's clock; the host's timers are always precise.
inline void TimeBeginPeriod(unsigned) {}
inline void TimeEndPeriod(unsigned) {}

// Sleeps the calling thread.
void Sleep(uint32_t milliseconds);

// A controllable clock for tests: every reading of the tick count (both widths), the wall clock,
// the local time and the performance counter comes from these functions while set. Pass nulls to
// return to the real clocks.
struct TestClock {
  uint64_t (*tickMs)() = nullptr;    // milliseconds since "boot"
  int64_t (*wallMs)() = nullptr;     // milliseconds since 1970
  int64_t (*counterNs)() = nullptr;  // performance counter in nanoseconds
};
void SetClockForTesting(const TestClock& clock);

}  // namespace platform
