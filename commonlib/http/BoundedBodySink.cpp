#include "commonlib/http/BoundedBodySink.h"

#include <algorithm>

#include "commonlib/http/ErrorType.h"

int CBoundedBodySink::Write(const void* data, size_t count) {
  if (count > m_maxBytes - std::min(m_maxBytes, GetLength())) {
    m_lastError = kUserBodyTooLarge;
    m_errorKind = ET_USER;
    return -1;
  }
  return OBufferStream::Write(data, count);
}
