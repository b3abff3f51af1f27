#include "commonlib/peer/SpeedSampler.h"

#include <numeric>

#include "platform/clock.h"

SpeedSampler::SpeedSampler() : m_lastTick(platform::GetTickCount()) {}

uint32_t SpeedSampler::Update() {
  if (m_lastTick == 0) return 0;
  const uint32_t now = platform::GetTickCount();
  const double perMs = now == m_lastTick ? 0.0 : static_cast<double>(m_bytes) / static_cast<double>(now - m_lastTick);
  m_lastTick = now;
  m_bytes = 0;
  m_samples.push_back(perMs * 1000.0);
  if (m_samples.size() > kMaxSamples) m_samples.pop_front();
  const double mean = std::accumulate(m_samples.begin(), m_samples.end(), 0.0) / static_cast<double>(m_samples.size());
  m_avgSpeed = static_cast<uint32_t>(mean);
  return m_avgSpeed;
}
