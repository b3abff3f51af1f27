// ByteRange: an inclusive range of byte offsets in a file. A range of one byte has start == end; a
// valid range has start <= end. Offsets compare as unsigned 64-bit numbers everywhere in the engine.
#pragma once

#include <cstdint>

struct ByteRange {
  uint64_t start = 0;
  uint64_t end = 0;

  // The number of bytes; 0 for an invalid range. A range over the whole 64-bit space saturates.
  uint64_t Length() const {
    if (end < start) return 0;
    const uint64_t span = end - start;
    return span == UINT64_MAX ? UINT64_MAX : span + 1;
  }
  bool Contains(uint64_t offset) const { return start <= offset && offset <= end; }

  bool operator==(const ByteRange&) const = default;
};
