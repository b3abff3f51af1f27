#include "commonlib/peer/VKFileIO.h"

#include <climits>
#include <cwctype>

#include "commonlib/logger/Log.h"
#include "platform/errors.h"
#include "platform/file_allocation.h"
#include "platform/text.h"

namespace {

constexpr int32_t kErrorSystem = 1;
constexpr int32_t kErrorUser = 3;
constexpr int32_t kErrorHttp = 4;

// The data file as every user opens it: read and write, created when missing, never truncated,
// not inherited. Writers share it for reading and writing; delete sharing lets the finished file
// be moved onto the target even while a stopped transfer has not yet let go of its writer.
platform::FileHandle OpenDataFile(const std::wstring& path) {
  return platform::CreateFile(path, platform::GENERIC_READ | platform::GENERIC_WRITE,
                              platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE | platform::FILE_SHARE_DELETE,
                              platform::OPEN_ALWAYS, false);
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  }
  return true;
}

// Digits only, no sign, no overflow.
bool ParseOffset(std::wstring_view text, uint64_t* value) {
  if (text.empty() || text.size() > 19) return false;
  uint64_t v = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    v = v * 10 + static_cast<uint64_t>(c - L'0');
  }
  *value = v;
  return true;
}

}  // namespace

CRefPtr<CDownloadDataFile> CDownloadDataFile::Open(const std::wstring& path, uint32_t* error) {
  const platform::FileHandle handle = OpenDataFile(path);
  if (handle == platform::kInvalidFile) {
    const uint32_t code = platform::GetLastError();
    LOGE(L"[CDownloadFileIO]打开错误 %d:%d %s", kErrorSystem, code, path);
    if (error) *error = code;
    return nullptr;
  }
  if (error) *error = 0;
  return CRefPtr<CDownloadDataFile>(new CDownloadDataFile(path, handle));
}

CDownloadDataFile::~CDownloadDataFile() { platform::CloseHandle(m_handle); }

bool CDownloadDataFile::WriteAt(uint64_t offset, const void* data, uint32_t count, uint32_t* error) {
  uint32_t written = 0;
  if (platform::WriteFileAt(m_handle, offset, data, count, &written)) return true;
  if (error) *error = platform::GetLastError();
  return false;
}

bool CDownloadDataFile::Flush() { return platform::FlushFileBuffers(m_handle); }

bool CDownloadDataFile::IsAtPath() const { return platform::IsSameFile(m_handle, m_path); }

bool CreateEmptyFile(const std::wstring& path, uint64_t size, uint32_t* error) {
  if (error) *error = 0;
  const platform::FileHandle handle = OpenDataFile(path);
  if (handle == platform::kInvalidFile) {
    const uint32_t code = platform::GetLastError();
    LOGE(L"[CreateEmptyFile]打开错误 %d:%d %s", kErrorSystem, code, path);
    if (error) *error = code;
    return false;
  }
  // Reserving the space first makes a full disk fail here rather than mid-download; setting the
  // length then cuts a longer leftover file.
  bool ok = platform::AllocateFileSpace(path, size);
  uint64_t position = 0;
  ok = ok && platform::SetFilePointer(handle, static_cast<int64_t>(size), platform::FILE_BEGIN, &position) &&
       platform::SetEndOfFile(handle);
  const uint32_t code = ok ? 0 : platform::GetLastError();
  platform::CloseHandle(handle);
  if (!ok) {
    LOGE(L"CDownloadTask::SetLength %s %lld %d:%d", path, size, kErrorSystem, code);
    if (error) *error = code;
  }
  return ok;
}

bool ParseContentRange(std::wstring_view text, uint64_t* first, uint64_t* last, uint64_t* total) {
  while (!text.empty() && (text.front() == L' ' || text.front() == L'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) text.remove_suffix(1);
  if (text.size() < 6 || !EqualsNoCase(text.substr(0, 6), L"bytes ")) return false;
  text.remove_prefix(6);
  const size_t dash = text.find(L'-');
  const size_t slash = text.find(L'/');
  if (dash == std::wstring_view::npos || slash == std::wstring_view::npos || slash < dash) return false;
  uint64_t a = 0;
  uint64_t b = 0;
  if (!ParseOffset(text.substr(0, dash), &a) || !ParseOffset(text.substr(dash + 1, slash - dash - 1), &b)) return false;
  if (b < a) return false;
  const std::wstring_view totalText = text.substr(slash + 1);
  uint64_t t = 0;
  if (totalText != L"*" && (!ParseOffset(totalText, &t) || b >= t)) return false;
  *first = a;
  *last = b;
  if (total) *total = t;
  return true;
}

CVKDownloadFileIO::~CVKDownloadFileIO() { Close(); }

void CVKDownloadFileIO::SetFileSize(uint64_t size) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_fileSize = size;
}

bool CVKDownloadFileIO::open(CRefPtr<CDownloadDataFile> file, uint64_t position, uint64_t end, bool rangeRequested) {
  Close();
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!file || end < position) {
    FailLocked(kErrorUser, DL_ERROR_NO_FILE);
    return false;
  }
  m_file = std::move(file);
  m_start = position;
  m_next = position;
  m_end = end;
  m_rangeRequested = rangeRequested;
  m_gate = Gate::kWaiting;
  m_written.store(0, std::memory_order_release);
  m_lastError = 0;
  m_errorKind = 0;
  return true;
}

bool CVKDownloadFileIO::AcceptResponse(int httpCode, std::wstring_view contentRange) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_gate == Gate::kShut) return false;
  if (!m_file) {
    FailLocked(kErrorUser, DL_ERROR_NO_FILE);
    return false;
  }
  if (httpCode < 200 || (httpCode >= 300 && httpCode <= 399)) {
    // An interim answer or a redirect: its body is not ours, the next response's may be.
    m_gate = Gate::kWaiting;
    return true;
  }
  if (httpCode == 200) {
    if (m_rangeRequested || m_next != 0) {
      FailLocked(kErrorHttp, DL_ERROR_NO_RANGE);
      return false;
    }
    m_gate = Gate::kOpen;
    return true;
  }
  if (httpCode == 206) {
    uint64_t first = 0;
    uint64_t last = 0;
    uint64_t total = 0;
    if (!ParseContentRange(contentRange, &first, &last, &total) || first != m_next || last > m_end) {
      FailLocked(kErrorUser, DL_ERROR_LENGTH);
      return false;
    }
    if (m_fileSize != 0 && total != 0 && total != m_fileSize) {
      FailLocked(kErrorUser, DL_ERROR_OTHER_FILE);
      return false;
    }
    m_gate = Gate::kOpen;
    return true;
  }
  FailLocked(kErrorHttp, httpCode);
  return false;
}

bool CVKDownloadFileIO::AcceptResponseHeaders(int httpCode, const ProtoValue& headers) {
  std::wstring contentRange;
  if (const ProtoValue::Map* map = headers.GetMap()) {
    for (const auto& [name, value] : *map) {
      if (EqualsNoCase(name, L"Content-Range") && value.type() == PV_STRING) contentRange = value.string();
    }
  }
  return AcceptResponse(httpCode, contentRange);
}

int CVKDownloadFileIO::Write(const void* data, size_t count) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_file) {
    FailLocked(kErrorUser, DL_ERROR_NO_FILE);
    return -1;
  }
  if (m_gate != Gate::kOpen) {
    if (m_gate == Gate::kWaiting) FailLocked(kErrorUser, DL_ERROR_NOT_ACCEPTED);
    return -1;
  }
  if (count == 0) return 0;
  // The block's remaining room, computed without overflow: m_next may be m_end + 1.
  const uint64_t room = m_next > m_end ? 0 : m_end - m_next + 1;
  if (count > room || count > static_cast<size_t>(INT_MAX)) {
    FailLocked(kErrorUser, DL_ERROR_LENGTH);
    return -1;
  }
  uint32_t error = 0;
  if (!m_file->WriteAt(m_next, data, static_cast<uint32_t>(count), &error)) {
    LOGE(L"[CDownloadFileIO]打开错误 %d:%d", kErrorSystem, error);
    FailLocked(kErrorSystem, static_cast<int32_t>(error));
    return -1;
  }
  m_next += count;
  m_written.store(m_next - m_start, std::memory_order_release);
  return static_cast<int>(count);
}

void CVKDownloadFileIO::Close() {
  CRefPtr<CDownloadDataFile> released;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    released = std::move(m_file);
    m_gate = Gate::kShut;
    m_lastError = 0;
    m_errorKind = 0;
  }
  // The last reference may close the handle; that happens outside the lock.
}

void CVKDownloadFileIO::Dispose() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_gate == Gate::kShut) return;
  FailLocked(kErrorHttp, DL_ERROR_NO_RANGE);
}

void CVKDownloadFileIO::GetError(int32_t* kind, int32_t* code) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (kind) *kind = m_errorKind;
  if (code) *code = m_lastError;
}

void CVKDownloadFileIO::FailLocked(int32_t kind, int32_t code) {
  m_errorKind = kind;
  m_lastError = code;
  m_gate = Gate::kShut;
}
