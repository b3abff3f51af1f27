#include "commonlib/logger/TraceLogger.h"

#include "platform/debug_channel.h"

void TraceLogger::SetEnabled(bool enabled) {
  CAutoLock guard(&m_lock);
  m_enabled = enabled;
}

bool TraceLogger::IsEnabled() {
  CAutoLock guard(&m_lock);
  return HasConfig() && m_enabled;
}

void TraceLogger::Write(const std::wstring& line) {
  CAutoLock guard(&m_lock);
  if (!IsEnabled()) return;
  platform::OutputDebugString(line);
}
