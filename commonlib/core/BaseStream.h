// The stream interfaces that move bytes between memory and whatever stores them: a transfer reads
// its upload body from an IBaseStream and writes its response body into an OBaseStream.
#pragma once

#include <cstddef>
#include <cstdint>

class IBaseStream {
 public:
  virtual ~IBaseStream() = default;
  // Copies `count` bytes into `buffer`: `count` on success, 0 at the end of the data, -1 when fewer
  // than `count` bytes remain (nothing is copied then).
  virtual int Read(void* buffer, size_t count) = 0;
  virtual uint64_t GetSize() = 0;
  virtual void Close() = 0;
  // Moves the read position to `position` bytes from the start; false when the stream cannot go
  // there (or cannot seek at all). A body sent again after a redirect is read from the start.
  virtual bool Seek(uint64_t /*position*/) { return false; }

 protected:
  IBaseStream() = default;
  IBaseStream(const IBaseStream&) = default;
  IBaseStream& operator=(const IBaseStream&) = default;
};

class OBaseStream {
 public:
  virtual ~OBaseStream() = default;
  // Appends `count` bytes: the number written, or -1 on failure (the reason in LastError and
  // ErrorKind).
  virtual int Write(const void* data, size_t count) = 0;
  virtual void Close() = 0;
  virtual void Dispose() = 0;

  // The failure of the last write, for the stream's owner: an error code and its ErrorType
  // number (1 an operating-system error, 3 the system's own code); both 0 when there was none.
  int32_t LastError() const { return m_lastError; }
  int32_t ErrorKind() const { return m_errorKind; }

 protected:
  OBaseStream() = default;
  OBaseStream(const OBaseStream&) = default;
  OBaseStream& operator=(const OBaseStream&) = default;

  int32_t m_lastError = 0;
  int32_t m_errorKind = 0;
};
