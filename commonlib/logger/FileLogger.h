// The file sink: UTF-16LE lines written to a C stdio stream, flushed after each line. Nothing in
// the installer attaches a stream, so its statements are dropped after the IsEnabled check.
#pragma once

#include <cstdio>

#include "commonlib/logger/BaseLogger.h"
#include "commonlib/thread/Singleton.h"

class FileLogger : public BaseLogger, public CSingleton<FileLogger> {
 public:
  FileLogger() { SetConfig(std::make_unique<LogConfig>()); }
  // Attaches (or with null detaches) the stream; the logger never closes it.
  void SetStream(FILE* stream);
  void Write(const std::wstring& line) override;
  bool IsEnabled() override;

 private:
  FILE* m_stream = nullptr;
};
