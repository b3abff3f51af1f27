#include "commonlib/peer/AheadRule.h"

bool AheadPays(uint32_t latencyMs, double bytesPerMs, uint64_t blockLength) {
  if (latencyMs < kAheadMinLatencyMs || bytesPerMs <= 0) return false;
  const double blockMs = static_cast<double>(blockLength) / bytesPerMs;
  return static_cast<double>(latencyMs) * kAheadBlockTimesPerLatency >= blockMs;
}

double AheadTimeLeftMs(const AheadEstimate& e) {
  if (e.bytesPerMs <= 0) return 0;
  return static_cast<double>(e.msToFirstByte) + static_cast<double>(e.bytesLeft) / e.bytesPerMs;
}

bool AheadDue(const AheadEstimate& e) {
  if (!AheadPays(e.latencyMs, e.bytesPerMs, e.blockLength)) return false;
  return AheadTimeLeftMs(e) <= static_cast<double>(e.latencyMs) * kAheadLatencyMultiple;
}
