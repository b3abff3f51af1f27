// The trace sink: every line goes to the debugger output channel. The only logger that produces
// output in the installer.
#pragma once

#include "commonlib/logger/BaseLogger.h"
#include "commonlib/thread/Singleton.h"

class TraceLogger : public BaseLogger, public CSingleton<TraceLogger> {
 public:
  TraceLogger() { SetConfig(std::make_unique<LogConfig>()); }
  void SetEnabled(bool enabled);
  void Write(const std::wstring& line) override;
  bool IsEnabled() override;

 private:
  bool m_enabled = true;
};
