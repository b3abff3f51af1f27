#include "commonlib/engine/RangeList.h"

#include <algorithm>

bool RangeList::Add(uint64_t start, uint64_t end) {
  if (start > end) return false;
  uint64_t s0 = start;
  uint64_t e0 = end;
  for (auto it = m_ranges.begin(); it != m_ranges.end();) {
    const uint64_t s = it->start;
    const uint64_t e = it->end;
    if (s >= s0 && e <= e0) {
      it = m_ranges.erase(it);
    } else if (s >= s0 && s <= e0) {
      e0 = e;
      it = m_ranges.erase(it);
    } else if (s < s0 && s0 <= e && e <= e0) {
      s0 = s;
      it = m_ranges.erase(it);
    } else if (s < s0 && e > e0) {
      // Already covered. Ranges merged above lay inside this one, so no byte is lost.
      return false;
    } else {
      ++it;
    }
  }
  m_ranges.push_back({s0, e0});
  return true;
}

bool RangeList::Subtract(uint64_t start, uint64_t end) {
  if (start > end) return false;
  bool changed = false;
  for (auto it = m_ranges.begin(); it != m_ranges.end();) {
    const uint64_t s = it->start;
    const uint64_t e = it->end;
    if (s >= start && e <= end) {
      it = m_ranges.erase(it);
      changed = true;
    } else if (s >= start && s <= end) {
      it->start = end + 1;
      changed = true;
      ++it;
    } else if (s < start && start <= e && e <= end) {
      it->end = start - 1;
      changed = true;
      ++it;
    } else if (s < start && e > end) {
      it->end = start - 1;
      m_ranges.insert(it + 1, ByteRange{end + 1, e});
      return true;
    } else {
      ++it;
    }
  }
  return changed;
}

uint64_t RangeList::LengthWithin(uint64_t limit) const {
  // The sum saturates instead of wrapping: with limit at the top of the 64-bit space (a file size
  // of 0 taken minus one) a wrapped total would read as "nothing missing".
  uint64_t total = 0;
  for (const ByteRange& r : m_ranges) {
    if (r.start > limit || r.end < r.start) continue;
    const uint64_t len = ByteRange{r.start, std::min(r.end, limit)}.Length();
    total = (UINT64_MAX - total < len) ? UINT64_MAX : total + len;
  }
  if (limit != UINT64_MAX) total = std::min(total, limit + 1);
  return total;
}

bool RangeList::NoneWithin(uint64_t limit) const {
  for (const ByteRange& r : m_ranges) {
    if (r.start <= limit || r.end <= limit) return false;
  }
  return true;
}
