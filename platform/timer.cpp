#include "platform/timer.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/message_queue_impl.h"
#include "platform/process_info.h"

namespace platform {
namespace {

using detail::TheRegistry;
using detail::Timer;

Timer* FindTimerLocked(detail::ThreadQueue& queue, HWND hwnd, UINT_PTR id) {
  for (Timer& timer : queue.timers)
    if (timer.hwnd == hwnd && timer.id == id) return &timer;
  return nullptr;
}

// Under the lock: the window's queue if the calling thread owns the window.
bool CheckWindowLocked(HWND hwnd) {
  auto window = detail::FindWindowLocked(hwnd);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  if (window->queue->threadId != GetCurrentThreadId()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return true;
}

}  // namespace

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, uint32_t elapseMs, TIMERPROC proc) {
  auto queue = detail::CurrentQueue();
  detail::Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  if (hwnd && !CheckWindowLocked(hwnd)) return 0;
  Timer* timer = FindTimerLocked(*queue, hwnd, id);
  if (!timer) {
    Timer fresh;
    fresh.hwnd = hwnd;
    fresh.id = id;
    if (!hwnd) {
      // Thread timers are told apart by id alone, so each new one gets an id of its own.
      do {
        fresh.id = registry.nextThreadTimerId++;
      } while (fresh.id == 0 || FindTimerLocked(*queue, nullptr, fresh.id));
    }
    fresh.order = registry.nextTimerOrder++;
    queue->timers.push_back(fresh);
    timer = &queue->timers.back();
  }
  timer->elapseMs = std::clamp(elapseMs, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
  timer->proc = proc;
  timer->dueMs = GetTickCount64() + timer->elapseMs;
  if (hwnd) return timer->id != 0 ? timer->id : 1;
  return timer->id;
}

bool KillTimer(HWND hwnd, UINT_PTR id) {
  auto queue = detail::CurrentQueue();
  std::lock_guard<std::mutex> lock(TheRegistry().mutex);
  const auto removed = std::erase_if(
      queue->timers, [hwnd, id](const Timer& timer) { return timer.hwnd == hwnd && timer.id == id; });
  if (removed == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

}  // namespace platform
