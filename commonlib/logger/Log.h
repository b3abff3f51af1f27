// The log statement convention: one call on the file logger with the source position, then one on
// the trace logger, with the same level, format and arguments.
//
//   LOGI(L"CHttpMgr::Schedule() 调度任务 running:%d max:%d total:%d", running, max, total);
#pragma once

#include <string>

#include "commonlib/logger/ConsoleLogger.h"
#include "commonlib/logger/FileLogger.h"
#include "commonlib/logger/TraceLogger.h"

// The source position as the log lines show it: the path relative to its project's root, with a
// leading dot and backslashes (".\util\FileUtils.cpp").
std::wstring LogSourcePath(const char* file);

#define VKQX_SOURCE_FILE                                         \
  ([]() -> const wchar_t* {                                      \
    static const std::wstring vkqx_path = LogSourcePath(__FILE__); \
    return vkqx_path.c_str();                                    \
  }())

#define VKQX_LOG(level, ...)                                                       \
  do {                                                                             \
    FileLogger::GetInstance()->LogAt((level), __LINE__, VKQX_SOURCE_FILE, __VA_ARGS__); \
    TraceLogger::GetInstance()->Log((level), __VA_ARGS__);                         \
  } while (0)

#define LOGI(...) VKQX_LOG(LOG_INFO, __VA_ARGS__)
#define LOGW(...) VKQX_LOG(LOG_WARN, __VA_ARGS__)
#define LOGE(...) VKQX_LOG(LOG_ERROR, __VA_ARGS__)
