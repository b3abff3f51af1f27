#include "platform/clock.h"

#include <ctime>
#include <time.h>

#include <atomic>
#include <climits>

namespace platform {
namespace {

std::atomic<uint64_t (*)()> g_tick{nullptr};
std::atomic<int64_t (*)()> g_wall{nullptr};
std::atomic<int64_t (*)()> g_counter{nullptr};

int64_t ReadClockNs(clockid_t id) {
  timespec ts{};
  clock_gettime(id, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

}  // namespace

uint64_t GetTickCount64() {
  if (auto f = g_tick.load(std::memory_order_acquire)) return f();
  return static_cast<uint64_t>(ReadClockNs(CLOCK_BOOTTIME) / 1000000);
}

uint32_t GetTickCount() { return static_cast<uint32_t>(GetTickCount64()); }

int64_t WallClockMs() {
  if (auto f = g_wall.load(std::memory_order_acquire)) return f();
  return ReadClockNs(CLOCK_REALTIME) / 1000000;
}

int64_t SystemTimeAsFileTime() { return WallClockMs() * 10000 + 116444736000000000LL; }

LocalTime GetLocalTime() {
  const int64_t ms = WallClockMs();
  const time_t seconds = static_cast<time_t>(ms / 1000);
  tm parts{};
  localtime_r(&seconds, &parts);
  return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                   parts.tm_min,         parts.tm_sec,     static_cast<int>(ms % 1000), parts.tm_wday};
}

bool UnixSecondsToLocalTime(int64_t seconds, LocalTime* out) {
  if (out == nullptr) return false;
  const auto t = static_cast<time_t>(seconds);
  tm parts{};
  if (static_cast<int64_t>(t) != seconds || localtime_r(&t, &parts) == nullptr) return false;
  if (parts.tm_year > INT_MAX - 1900) return false;
  *out = LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                   parts.tm_min,         parts.tm_sec,     0,                parts.tm_wday};
  return true;
}

bool QueryPerformanceCounter(int64_t* count) {
  if (count == nullptr) return false;
  if (auto f = g_counter.load(std::memory_order_acquire))
    *count = f();
  else
    *count = ReadClockNs(CLOCK_MONOTONIC);
  return true;
}

bool QueryPerformanceFrequency(int64_t* frequency) {
  if (frequency == nullptr) return false;
  *frequency = 1000000000;
  return true;
}

void Sleep(uint32_t milliseconds) {
  timespec ts{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

void SetClockForTesting(const TestClock& clock) {
  g_tick.store(clock.tickMs, std::memory_order_release);
  g_wall.store(clock.wallMs, std::memory_order_release);
  g_counter.store(clock.counterNs, std::memory_order_release);
}

}  // namespace platform
