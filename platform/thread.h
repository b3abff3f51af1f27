// Threads with the Windows semantics the system's workers rely on: an id known at start, an exit
// code that reads STILL_ACTIVE while the thread runs, waiting with a timeout, and closing the
// handle. There is no forced termination: a thread cannot be killed safely here. Closing the
// handle of a thread that still runs abandons it; it goes on to its end on its own.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

inline constexpr uint32_t STILL_ACTIVE = 259;
inline constexpr uint32_t INFINITE = 0xFFFFFFFF;
inline constexpr uint32_t WAIT_OBJECT_0 = 0;
inline constexpr uint32_t WAIT_TIMEOUT = 258;

class Thread {
 public:
  // Runs `body` on a new thread; what it returns is the exit code. Null (last error set) when
  // the thread could not be started.
  static std::unique_ptr<Thread> Start(std::function<uint32_t()> body);

  // Closes the handle. A thread that still runs is abandoned, never joined or killed.
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  uint32_t Id() const;
  // STILL_ACTIVE while the body runs, then its return value.
  uint32_t ExitCode() const;
  // WAIT_OBJECT_0 once the body has returned, WAIT_TIMEOUT if it has not within the time.
  uint32_t Wait(uint32_t timeoutMs) const;
  // Whether the caller is this thread.
  bool IsCurrent() const;

 private:
  struct State;
  explicit Thread(std::shared_ptr<State> state);
  std::shared_ptr<State> m_state;
};

}  // namespace platform
