// CFileEx: the system's file class, a thin object over a platform file handle with 64-bit
// positions. Open reports failure through an error record; every other operation throws
// CFileExException when the operating system refuses.
#pragma once

#include <cstdint>
#include <string>

#include "commonlib/core/ExceptionImpl.h"
#include "platform/file.h"

// Open flags. Access is the two low bits, sharing the bits 0x70.
inline constexpr uint32_t FILEEX_READ = 0x0000;
inline constexpr uint32_t FILEEX_WRITE = 0x0001;
inline constexpr uint32_t FILEEX_READWRITE = 0x0002;
inline constexpr uint32_t FILEEX_SHARE_EXCLUSIVE = 0x0010;
inline constexpr uint32_t FILEEX_SHARE_DENY_WRITE = 0x0020;
inline constexpr uint32_t FILEEX_SHARE_DENY_READ = 0x0030;
inline constexpr uint32_t FILEEX_SHARE_DENY_NONE = 0x0040;
inline constexpr uint32_t FILEEX_NO_INHERIT = 0x0080;
inline constexpr uint32_t FILEEX_CREATE = 0x1000;
inline constexpr uint32_t FILEEX_NO_TRUNCATE = 0x2000;
inline constexpr uint32_t FILEEX_BINARY = 0x8000;

// The code of a write that stored fewer bytes than asked.
inline constexpr int32_t FILEEX_SHORT_WRITE = -12;

class CFileExException : public IException {
 public:
  using IException::IException;
};

class CFileEx {
 public:
  CFileEx() = default;
  CFileEx(const CFileEx&) = delete;
  CFileEx& operator=(const CFileEx&) = delete;

  virtual uint64_t GetPosition();
  // Opens `path` (a drive path). On failure fills `error` (when given) with the last error and
  // the message "INVALID_HANDLE_VALUE" and returns false; never throws. A file still open in this
  // object is closed first.
  virtual bool Open(const std::wstring& path, uint32_t flags, CFileExException* error);
  // origin: 0 begin, 1 current, 2 end.
  virtual uint64_t Seek(int64_t offset, uint32_t origin);
  // Cuts or extends the file; the position is left at the new end.
  virtual int32_t SetLength(uint64_t length);
  virtual uint64_t SeekToEnd();
  // Fewer bytes than `count` only at the end of the file.
  virtual uint32_t Read(void* buffer, uint32_t count);
  virtual void Write(const void* data, uint32_t count);
  // Closes without ever throwing.
  virtual void Abort();
  virtual void Flush();
  // Always leaves the object closed; throws afterwards if the close was refused.
  virtual void Close();
  virtual ~CFileEx();

  platform::FileHandle m_hFile = platform::kInvalidFile;
  int32_t m_closeOnDelete = 0;
  std::wstring m_fileName;

 protected:
  bool IsOpen() const { return m_hFile != platform::kInvalidFile; }

  // Every throw of the file class carries this position, the file class's header.
  [[noreturn]] static void ThrowException(int32_t code, const std::wstring& message) {
    throw CFileExException(code, message, __FILE__, __LINE__);
  }
};
