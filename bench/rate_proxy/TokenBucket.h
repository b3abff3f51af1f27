// A token bucket in bytes that behaves like a link of a fixed rate: tokens arrive only while bytes
// are waiting to be sent, so an idle link gathers no credit and the first bytes after a pause go
// at the rate, not in a burst. The cap (a few milliseconds of the rate) only lets the proxy catch
// up after it was woken late.
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
      : rate_(bytesPerSecond), burst_(std::max<uint64_t>(burstBytes, 1)), last_(SteadyClock::now()) {}

  bool Unlimited() const { return rate_ == 0; }

  // Tells the bucket since when bytes have been waiting without a break, or that none are
  // (waiting = false). Time before that moment was idle and earns nothing.
  void NoteBacklog(SteadyClock::time_point now, bool waiting, SteadyClock::time_point since) {
    if (Unlimited()) return;
    if (!waiting) {
      tokens_ = 0;
      last_ = now;
    } else if (since > last_) {
      tokens_ = 0;
      last_ = std::min(since, now);
    }
  }

  // Bytes that may be sent now, at most `want`.
  size_t Available(SteadyClock::time_point now, size_t want) {
    if (Unlimited()) return want;
    Refill(now);
    return static_cast<size_t>(std::min<double>(tokens_, static_cast<double>(want)));
  }

  void Consume(size_t bytes) {
    if (!Unlimited()) tokens_ -= static_cast<double>(bytes);
  }

  // When at least `want` bytes (capped at the burst) will be available, if bytes keep waiting.
  SteadyClock::time_point ReadyAt(SteadyClock::time_point now, size_t want) const {
    if (Unlimited()) return now;
    double need = std::min<double>(static_cast<double>(want), static_cast<double>(burst_));
    double tokens = TokensAt(now);
    if (tokens >= need) return now;
    auto wait = std::chrono::duration<double>((need - tokens) / static_cast<double>(rate_));
    return now + std::chrono::duration_cast<SteadyClock::duration>(wait);
  }

 private:
  double TokensAt(SteadyClock::time_point now) const {
    if (now <= last_) return tokens_;
    double seconds = std::chrono::duration<double>(now - last_).count();
    return std::min<double>(static_cast<double>(burst_), tokens_ + seconds * static_cast<double>(rate_));
  }

  void Refill(SteadyClock::time_point now) {
    tokens_ = TokensAt(now);
    last_ = std::max(last_, now);
  }

  uint64_t rate_;
  uint64_t burst_;
  double tokens_ = 0;
  SteadyClock::time_point last_;
};

}  // namespace bench
