// The console sink: lines go to standard output as UTF-8. Disabled until SetEnabled(true).
#pragma once

#include "commonlib/logger/BaseLogger.h"
#include "commonlib/thread/Singleton.h"

class ConsoleLogger : public BaseLogger, public CSingleton<ConsoleLogger> {
 public:
  ConsoleLogger() { SetConfig(std::make_unique<LogConfig>()); }
  void SetEnabled(bool enabled);
  void Write(const std::wstring& line) override;
  bool IsEnabled() override;

 private:
  bool m_enabled = false;
};
