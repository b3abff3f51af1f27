#include "commonlib/logger/FileLogger.h"

#include "platform/text.h"

void FileLogger::SetStream(FILE* stream) {
  CAutoLock guard(&m_lock);
  m_stream = stream;
}

bool FileLogger::IsEnabled() {
  CAutoLock guard(&m_lock);
  return HasConfig() && m_stream != nullptr;
}

void FileLogger::Write(const std::wstring& line) {
  CAutoLock guard(&m_lock);
  if (!IsEnabled()) return;
  std::string bytes;
  platform::AppendUtf16LE(line, bytes);
  std::fwrite(bytes.data(), 1, bytes.size(), m_stream);
  std::fflush(m_stream);
}
