#include "commonlib/logger/BaseLogger.h"

#include "platform/clock.h"
#include "platform/process_info.h"

void BaseLogger::SetConfig(std::unique_ptr<LogConfig> config) {
  CAutoLock guard(&m_lock);
  m_config = std::move(config);
}

void BaseLogger::LogArgs(int level, int line, const wchar_t* file, const wchar_t* format,
                         std::span<const platform::FormatArg> args) {
  using platform::StrFormat;
  CAutoLock guard(&m_lock);
  if (!IsEnabled()) return;

  std::wstring text;
  switch (level) {
    case LOG_INFO: text += StrFormat(L"[%4s]", L"INFO"); break;
    case LOG_WARN: text += StrFormat(L"[%4s]", L"WARN"); break;
    case LOG_ERROR: text += StrFormat(L"[%4s]", L"ERRO"); break;
    default: break;
  }
  const uint32_t flags = m_config->flags;
  if (flags & LOG_FLAG_TIME) {
    const platform::LocalTime t = platform::GetLocalTime();
    const std::wstring when =
        StrFormat(L"[%04d-%02d-%02d %02d:%02d:%02d]", t.year, t.month, t.day, t.hour, t.minute, t.second);
    text += StrFormat(L"%s[tick:%u]", when, platform::GetTickCount());
  }
  if (flags & LOG_FLAG_PID) text += StrFormat(L"[pid:%d]", platform::GetCurrentProcessId());
  if (flags & LOG_FLAG_TID) text += StrFormat(L"[tid:%d]", platform::GetCurrentThreadId());
  if (file != nullptr) {
    // The position decoration holds at most 2046 characters, like its fixed buffer.
    std::wstring position = StrFormat(L"[%s:%d]", file, line);
    if (position.size() > 2046) position.resize(2046);
    text += position;
  }
  text += platform::VFormat(format, args);
  if (m_config->appendNewline) text += L"\r\n";
  Write(text);
}
