#include "commonlib/core/FileEx.h"

#include "platform/errors.h"

namespace {

int32_t LastError() { return static_cast<int32_t>(platform::GetLastError()); }

uint32_t AccessFor(uint32_t flags) {
  switch (flags & 0x3) {
    case FILEEX_READ: return platform::GENERIC_READ;
    case FILEEX_WRITE: return platform::GENERIC_WRITE;
    case FILEEX_READWRITE: return platform::GENERIC_READ | platform::GENERIC_WRITE;
    default: return 0;
  }
}

uint32_t ShareFor(uint32_t flags) {
  switch (flags & 0x70) {
    case FILEEX_SHARE_DENY_WRITE: return platform::FILE_SHARE_READ;
    case FILEEX_SHARE_DENY_READ: return platform::FILE_SHARE_WRITE;
    case FILEEX_SHARE_DENY_NONE: return platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE;
    default: return 0;
  }
}

platform::CreationDisposition DispositionFor(uint32_t flags) {
  if (flags & FILEEX_CREATE) return (flags & FILEEX_NO_TRUNCATE) ? platform::OPEN_ALWAYS : platform::CREATE_ALWAYS;
  return platform::OPEN_EXISTING;
}

}  // namespace

uint64_t CFileEx::GetPosition() {
  uint64_t position = 0;
  if (!platform::SetFilePointer(m_hFile, 0, platform::FILE_CURRENT, &position)) ThrowException(LastError(), L"");
  return position;
}

bool CFileEx::Open(const std::wstring& path, uint32_t flags, CFileExException* error) {
  // Reopening must not leak the earlier handle, nor keep its share locks on the file.
  if (IsOpen()) platform::CloseHandle(m_hFile);
  m_hFile = platform::kInvalidFile;
  m_closeOnDelete = 0;
  m_fileName = path;

  const platform::FileHandle file = platform::CreateFile(path, AccessFor(flags), ShareFor(flags),
                                                         DispositionFor(flags), (flags & FILEEX_NO_INHERIT) == 0);
  if (file == platform::kInvalidFile) {
    if (error != nullptr) {
      error->m_code = LastError();
      error->m_message = L"INVALID_HANDLE_VALUE";
    }
    return false;
  }
  m_hFile = file;
  m_closeOnDelete = 1;
  return true;
}

uint64_t CFileEx::Seek(int64_t offset, uint32_t origin) {
  uint64_t position = 0;
  if (!platform::SetFilePointer(m_hFile, offset, static_cast<platform::SeekOrigin>(origin), &position))
    ThrowException(LastError(), L"");
  return position;
}

int32_t CFileEx::SetLength(uint64_t length) {
  if (!platform::SetFilePointer(m_hFile, static_cast<int64_t>(length), platform::FILE_BEGIN, nullptr))
    ThrowException(LastError(), L"");
  if (!platform::SetEndOfFile(m_hFile)) ThrowException(LastError(), L"");
  return 1;
}

uint64_t CFileEx::SeekToEnd() {
  uint64_t position = 0;
  if (!platform::SetFilePointer(m_hFile, 0, platform::FILE_END, &position)) ThrowException(LastError(), L"");
  return position;
}

uint32_t CFileEx::Read(void* buffer, uint32_t count) {
  if (count == 0) return 0;
  uint32_t read = 0;
  if (!platform::ReadFile(m_hFile, buffer, count, &read)) ThrowException(LastError(), L"");
  return read;
}

void CFileEx::Write(const void* data, uint32_t count) {
  if (count == 0) return;
  uint32_t written = 0;
  if (!platform::WriteFile(m_hFile, data, count, &written)) ThrowException(LastError(), m_fileName);
  if (written != count) ThrowException(FILEEX_SHORT_WRITE, m_fileName);
}

void CFileEx::Abort() {
  if (IsOpen()) platform::CloseHandle(m_hFile);
  m_hFile = platform::kInvalidFile;
  m_closeOnDelete = 0;
  m_fileName.clear();
}

void CFileEx::Flush() {
  if (!IsOpen()) return;
  if (!platform::FlushFileBuffers(m_hFile)) ThrowException(LastError(), L"");
}

void CFileEx::Close() {
  bool refused = false;
  if (IsOpen()) refused = !platform::CloseHandle(m_hFile);
  m_hFile = platform::kInvalidFile;
  m_closeOnDelete = 0;
  m_fileName.clear();
  if (refused) ThrowException(LastError(), L"");
}

CFileEx::~CFileEx() {
  if (IsOpen() && m_closeOnDelete) platform::CloseHandle(m_hFile);
}
