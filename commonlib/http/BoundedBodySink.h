// The memory sink of a command's response body, with a bound: a write that would take the body
// past it fails as a full disk would (the transfer ends with a write error), so a server that
// sends without end cannot make the process collect it all in memory.
#pragma once

#include <cstddef>

#include "commonlib/core/BufferStream.h"

class CBoundedBodySink : public OBufferStream {
 public:
  explicit CBoundedBodySink(size_t maxBytes) : m_maxBytes(maxBytes) {}

  // -1, with (3, kUserBodyTooLarge) as the last error, when the bytes do not fit the bound;
  // nothing of them is kept then.
  int Write(const void* data, size_t count) override;

 private:
  size_t m_maxBytes;
};
