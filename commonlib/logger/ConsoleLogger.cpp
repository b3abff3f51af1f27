#include "commonlib/logger/ConsoleLogger.h"

#include <cstdio>

#include "platform/text.h"

void ConsoleLogger::SetEnabled(bool enabled) {
  CAutoLock guard(&m_lock);
  m_enabled = enabled;
}

bool ConsoleLogger::IsEnabled() {
  CAutoLock guard(&m_lock);
  return HasConfig() && m_enabled;
}

void ConsoleLogger::Write(const std::wstring& line) {
  CAutoLock guard(&m_lock);
  if (!IsEnabled()) return;
  const std::string text = platform::WideToUtf8(line);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}
