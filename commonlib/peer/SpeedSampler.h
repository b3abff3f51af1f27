// SpeedSampler: the speed meter of one download source. The source adds the bytes it receives;
// the task takes one sample per second, and the meter keeps the mean of the last ten samples.
#pragma once

#include <cstdint>
#include <cstddef>
#include <deque>

class SpeedSampler {
 public:
  SpeedSampler();

  // Takes a sample of the bytes since the previous one and returns the new mean, in bytes per
  // second. With one call per second this is the mean speed over the last ten seconds.
  uint32_t Update();

  uint32_t m_bytes = 0;     // since the last sample
  uint32_t m_lastTick = 0;  // GetTickCount of the last sample
  uint32_t m_avgSpeed = 0;  // bytes per second

  static constexpr size_t kMaxSamples = 10;

 private:
  std::deque<double> m_samples;  // oldest first
};
