// The application's 500 ms HTTP housekeeping: on the first tick and every second one after it the
// attempt timeouts of the download manager and then of the command manager are checked; on every
// tick, after that, their retry delays. A manager that does not exist is skipped.
#pragma once

#include <cstdint>

class CHttpMgr;

class CHttpHousekeeping {
 public:
  static constexpr uint32_t kPeriodMs = 500;

  void Tick(CHttpMgr* downloadMgr, CHttpMgr* commandMgr);

 private:
  uint32_t m_ticks = 0;
};
