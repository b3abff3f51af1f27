// RangeList: the ordered list of byte ranges a download task has not yet written to disk (its
// gaps), also the resume state saved in the meta file. The order is the order the operations leave
// (new and merged ranges go to the end, splits stay in place); it is observable, because the first
// free range in list order is the next block handed out and the saved list keeps this order.
// Callers never let two ranges overlap; touching ranges stay two ranges.
//
// Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "commonlib/engine/ByteRange.h"

class RangeList {
 public:
  using const_iterator = std::vector<ByteRange>::const_iterator;

  void Clear() { m_ranges.clear(); }
  void CopyFrom(const RangeList& other) { m_ranges = other.m_ranges; }

  // Adds [start, end] as one range at the end of the list, merged with every range that shares a
  // byte with it. False when start > end, or when one range already holds all of [start, end]
  // (nothing is added then).
  bool Add(uint64_t start, uint64_t end);
  // Removes the bytes [start, end]; a range holding them in its middle is split in place. Returns
  // whether anything changed.
  bool Subtract(uint64_t start, uint64_t end);
  // The bytes of the list inside [0, limit], capped at limit + 1.
  uint64_t LengthWithin(uint64_t limit) const;
  // True when no range starts at or below `limit` (also for an empty list).
  bool NoneWithin(uint64_t limit) const;

  bool empty() const { return m_ranges.empty(); }
  size_t size() const { return m_ranges.size(); }
  const ByteRange& front() const { return m_ranges.front(); }
  const ByteRange& operator[](size_t i) const { return m_ranges[i]; }
  const_iterator begin() const { return m_ranges.begin(); }
  const_iterator end() const { return m_ranges.end(); }

  bool operator==(const RangeList&) const = default;

 private:
  std::vector<ByteRange> m_ranges;
};
