// The logging facility's shared base: one line per statement, a level tag, optional decorations,
// optionally the source position, the message; handed synchronously to the concrete sink.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "commonlib/thread/Lock.h"
#include "platform/format.h"

enum LogLevel : int { LOG_INFO = 0, LOG_WARN = 1, LOG_ERROR = 2 };

inline constexpr uint32_t LOG_FLAG_TIME = 0x2;
inline constexpr uint32_t LOG_FLAG_PID = 0x4;
inline constexpr uint32_t LOG_FLAG_TID = 0x8;

struct LogConfig {
  uint32_t flags = 0xFFFFFFFFu;
  bool appendNewline = true;
};

class BaseLogger {
 public:
  virtual ~BaseLogger() = default;
  BaseLogger(const BaseLogger&) = delete;
  BaseLogger& operator=(const BaseLogger&) = delete;

  // A line without source position. Formats are printf-style wide formats (platform/format.h).
  template <typename... Args>
  void Log(int level, const wchar_t* format, const Args&... args) {
    const std::array<platform::FormatArg, sizeof...(Args)> packed{platform::FormatArg(args)...};
    LogArgs(level, 0, nullptr, format, packed);
  }
  // A line with the source position "[file:line]" after the decorations.
  template <typename... Args>
  void LogAt(int level, int line, const wchar_t* file, const wchar_t* format, const Args&... args) {
    const std::array<platform::FormatArg, sizeof...(Args)> packed{platform::FormatArg(args)...};
    LogArgs(level, line, file ? file : L"", format, packed);
  }
  // The text itself is the format, so a percent sign in it is a conversion.
  void Info(const std::wstring& text) { Log(LOG_INFO, text.c_str()); }
  void Error(const std::wstring& text) { Log(LOG_ERROR, text.c_str()); }

  // Installs a new configuration (a null one disables the logger).
  void SetConfig(std::unique_ptr<LogConfig> config);

  // Formats and writes one line; `file` null means no source position.
  virtual void LogArgs(int level, int line, const wchar_t* file, const wchar_t* format,
                       std::span<const platform::FormatArg> args);
  // Hands one finished line to the sink; does nothing while the logger is disabled.
  virtual void Write(const std::wstring& line) = 0;
  virtual bool IsEnabled() = 0;

 protected:
  BaseLogger() = default;
  bool HasConfig() const { return m_config != nullptr; }

  CLock m_lock;

 private:
  std::unique_ptr<LogConfig> m_config;
};
