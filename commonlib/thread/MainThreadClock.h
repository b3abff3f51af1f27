// The clock of the main-thread pump: seconds aligned to the wall clock, with the resolution of
// the performance counter. It follows the counter between calibrations against the wall clock,
// recalibrates when the counter and the tick count or the wall clock part ways, and never steps
// back by less than 2 seconds (a small correction waits until time has caught up; a larger one is
// a real clock change and is taken).
#pragma once

#include <cstdint>

class CMainThreadClock {
 public:
  CMainThreadClock();
  double NowSeconds();

 private:
  double NowMs();

  bool m_counterAvailable = false;
  int64_t m_frequency = 0;
  bool m_hasPrevious = false;
  double m_previousCounterMs = 0;
  uint32_t m_previousTick = 0;
  bool m_calibrated = false;
  double m_baseWallMs = 0;
  double m_baseCounterMs = 0;
  double m_lastMs = 0;
};

// The process's clock for the pump (main thread only).
double MainThreadClockSeconds();
