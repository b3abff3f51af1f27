// The two values the install thread shares with the main window: the install counter, which the
// window's install timer advances on the main thread and the install thread waits on, and the
// launching flag, which the install thread sets once the package has returned and the timer reads
// to speed up. Both are atomics, so neither side needs a lock or a message: the counter has one
// writer (the main thread) and the flag one (the install thread). The window and the thread hold
// the object through a shared_ptr, so a thread abandoned at shut-down still reads valid memory.
#pragma once

#include <atomic>
#include <cstdint>

namespace install {

// The counter's end: the install share of the bar is full.
inline constexpr int32_t kInstallCounterEnd = 900;

class CInstallProgress {
 public:
  // Main thread, before the install thread starts.
  void Reset() {
    m_counter.store(0, std::memory_order_relaxed);
    m_launching.store(false, std::memory_order_relaxed);
  }

  // Main thread: one step of the install timer (100 ms). 3 a step, slowing to 2 above 450 and to
  // 1 above 675 while the package runs; 9 a step once it has returned. Returns the new value.
  int32_t Tick();

  int32_t Counter() const { return m_counter.load(std::memory_order_acquire); }
  bool IsLaunching() const { return m_launching.load(std::memory_order_acquire); }
  // Install thread.
  void SetLaunching() { m_launching.store(true, std::memory_order_release); }

 private:
  std::atomic<int32_t> m_counter{0};
  std::atomic<bool> m_launching{false};
};

// The percentage shown for a counter value: the whole bar with a package that was not downloaded,
// else the last tenth after the download's 90.
int32_t InstallPercent(int32_t counter, bool localPackage);

}  // namespace install
