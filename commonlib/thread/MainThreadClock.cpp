#include "commonlib/thread/MainThreadClock.h"

#include <cmath>

#include "platform/clock.h"

namespace {

constexpr double kTickDisagreementMs = 500;
constexpr double kWallDriftMs = 31.25;
constexpr double kLargestHeldStepBackMs = 2000;

double WallMs() {
  return static_cast<double>((platform::SystemTimeAsFileTime() - 116444736000000000LL) / 10000);
}

}  // namespace

CMainThreadClock::CMainThreadClock() {
  m_counterAvailable = platform::QueryPerformanceFrequency(&m_frequency) && m_frequency > 0;
}

double CMainThreadClock::NowSeconds() { return NowMs() / 1000.0; }

double CMainThreadClock::NowMs() {
  const double wall = WallMs();
  int64_t count = 0;
  if (!m_counterAvailable || !platform::QueryPerformanceCounter(&count)) return wall;

  const double counterMs = static_cast<double>(count) * 1000.0 / static_cast<double>(m_frequency);
  const uint32_t tick = platform::GetTickCount();
  if (m_hasPrevious) {
    const double counterElapsed = counterMs - m_previousCounterMs;
    const double tickElapsed = static_cast<double>(static_cast<uint32_t>(tick - m_previousTick));
    if (std::fabs(counterElapsed - tickElapsed) > kTickDisagreementMs) m_calibrated = false;
  }
  m_hasPrevious = true;
  m_previousCounterMs = counterMs;
  m_previousTick = tick;

  if (!m_calibrated) {
    platform::TimeBeginPeriod(1);
    m_baseWallMs = WallMs();
    platform::TimeEndPeriod(1);
    m_baseCounterMs = counterMs;
    m_calibrated = true;
  }
  // Found now, acted on at the next reading: this one still uses the bases it had.
  if (std::fabs((counterMs - m_baseCounterMs) - (wall - m_baseWallMs)) > kWallDriftMs) m_calibrated = false;

  const double now = m_baseWallMs + (counterMs - m_baseCounterMs);
  if (now < m_lastMs && m_lastMs - now < kLargestHeldStepBackMs) return m_lastMs;
  m_lastMs = now;
  return now;
}

double MainThreadClockSeconds() {
  static CMainThreadClock clock;
  return clock.NowSeconds();
}
