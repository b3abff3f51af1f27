// A token bucket in bytes: tokens arrive at a fixed rate and are capped by a small burst, so a
// long transfer is held to the rate after its first few milliseconds instead of after a second.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace bench {

using SteadyClock = std::chrono::steady_clock;

class TokenBucket {
 public:
  // rate 0 means unlimited.
  TokenBucket(uint64_t bytesPerSecond, uint64_t burstBytes)
      : rate_(bytesPerSecond),
        burst_(std::max<uint64_t>(burstBytes, 1)),
        tokens_(static_cast<double>(burst_)),
        last_(SteadyClock::now()) {}

  bool Unlimited() const { return rate_ == 0; }

  // Bytes that may be sent now, at most `want`.
  size_t Available(SteadyClock::time_point now, size_t want) {
    if (Unlimited()) return want;
    Refill(now);
    return static_cast<size_t>(std::min<double>(tokens_, static_cast<double>(want)));
  }

  void Consume(size_t bytes) {
    if (!Unlimited()) tokens_ -= static_cast<double>(bytes);
  }

  // When at least `want` bytes (capped at the burst) will be available.
  SteadyClock::time_point ReadyAt(SteadyClock::time_point now, size_t want) {
    if (Unlimited()) return now;
    Refill(now);
    double need = std::min<double>(static_cast<double>(want), static_cast<double>(burst_));
    if (tokens_ >= need) return now;
    auto wait = std::chrono::duration<double>((need - tokens_) / static_cast<double>(rate_));
    return now + std::chrono::duration_cast<SteadyClock::duration>(wait);
  }

 private:
  void Refill(SteadyClock::time_point now) {
    if (now <= last_) return;
    double seconds = std::chrono::duration<double>(now - last_).count();
    tokens_ = std::min<double>(static_cast<double>(burst_), tokens_ + seconds * static_cast<double>(rate_));
    last_ = now;
  }

  uint64_t rate_;
  uint64_t burst_;
  double tokens_;
  SteadyClock::time_point last_;
};

}  // namespace bench
