// AheadRule: when a source asks for its next block while its current block is still arriving.
//
// Every block request pays one request latency (a round trip and the server's answer) before its
// first byte. A source that asks for the next block only when the last one has ended leaves its
// link idle for that time once per block. Asking ahead hides it, at the price of a second
// connection to the same server, so it is done only where it pays: where the latency is a real
// share of a block's transfer time (not on a slow link, not on a short round trip), and only when
// the current block's remaining bytes would arrive within a small multiple of the latency.
#pragma once

#include <cstdint>

// What a source knows when it considers asking ahead.
struct AheadEstimate {
  uint32_t latencyMs = 0;      // the source's request latency: request sent to the answer's first byte
  double bytesPerMs = 0;       // the source's transfer rate; 0 while unmeasured
  uint64_t blockLength = 0;    // a full block: what the request ahead would fetch
  uint64_t bytesLeft = 0;      // bytes of the arriving block not received yet
  uint32_t msToFirstByte = 0;  // until the arriving block's first byte is due; 0 once it came
};

// Round trips below this cost too little to be worth a second connection (and are below what
// a millisecond tick measures well).
inline constexpr uint32_t kAheadMinLatencyMs = 4;
// Asking ahead pays when one latency is at least 1/kAheadBlockTimesPerLatency of a block's
// transfer time: the idle share it removes is then above about 11 %.
inline constexpr uint32_t kAheadBlockTimesPerLatency = 8;
// The request ahead goes out when the arriving block would end within this many latencies: one
// would be exact, the second absorbs the error of the estimates and the 10 ms batching of
// progress reports. Asking early costs nothing but a short overlap on a shared link.
inline constexpr uint32_t kAheadLatencyMultiple = 2;

// Whether a second connection pays off for a source of this latency and rate at all.
bool AheadPays(uint32_t latencyMs, double bytesPerMs, uint64_t blockLength);
// The milliseconds until the arriving block's last byte, by the estimate.
double AheadTimeLeftMs(const AheadEstimate& estimate);
// Whether the source should ask for its next block now.
bool AheadDue(const AheadEstimate& estimate);
