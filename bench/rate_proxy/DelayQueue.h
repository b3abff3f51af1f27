// The bytes read from one side of a connection and not yet written to the other, in order. Each
// chunk becomes writable only once its delay has passed, which adds a fixed latency to the
// direction without reordering anything; an end-of-stream mark travels with the same delay.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <vector>

#include "bench/rate_proxy/TokenBucket.h"

namespace bench {

class DelayQueue {
 public:
  void PushData(const char* data, size_t size, SteadyClock::time_point due) {
    chunks_.push_back(Chunk{std::vector<char>(data, data + size), 0, due, false});
    queued_ += size;
  }

  void PushEnd(SteadyClock::time_point due) { chunks_.push_back(Chunk{{}, 0, due, true}); }

  bool Empty() const { return chunks_.empty(); }
  size_t QueuedBytes() const { return queued_; }

  // Whether the front is due; `dueAt` receives its due time when there is a front.
  bool FrontDue(SteadyClock::time_point now, SteadyClock::time_point* dueAt) const {
    if (chunks_.empty()) return false;
    *dueAt = chunks_.front().due;
    return chunks_.front().due <= now;
  }

  bool FrontIsEnd() const { return !chunks_.empty() && chunks_.front().end; }

  // The unwritten bytes of the front data chunk.
  const char* FrontData() const { return chunks_.front().data.data() + chunks_.front().offset; }
  size_t FrontSize() const { return chunks_.front().data.size() - chunks_.front().offset; }

  void ConsumeFront(size_t bytes) {
    Chunk& front = chunks_.front();
    front.offset += bytes;
    queued_ -= bytes;
    if (front.offset == front.data.size()) chunks_.pop_front();
  }

  void PopEnd() { chunks_.pop_front(); }

 private:
  struct Chunk {
    std::vector<char> data;
    size_t offset;
    SteadyClock::time_point due;
    bool end;
  };
  std::deque<Chunk> chunks_;
  size_t queued_ = 0;
};

}  // namespace bench
