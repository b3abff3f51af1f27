#include "platform/message_loop.h"

#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/message_queue_impl.h"

namespace platform {
namespace {

using detail::CurrentQueue;
using detail::TheRegistry;
using detail::ThreadQueue;

// Takes (or looks at) the next message in the queue's order. Messages sent from other threads are
// handled here, before anything posted, as they come.
bool TakeMessage(ThreadQueue& queue, MSG* msg, bool remove) {
  for (;;) {
    std::shared_ptr<detail::SentMessage> sent;
    {
      std::lock_guard<std::mutex> lock(TheRegistry().mutex);
      if (!queue.sent.empty()) {
        sent = std::move(queue.sent.front());
        queue.sent.pop_front();
      } else if (!queue.posted.empty()) {
        *msg = queue.posted.front();
        if (remove) queue.posted.pop_front();
        return true;
      } else if (queue.quitPosted) {
        *msg = MSG{nullptr, WM_QUIT, queue.quitCode, 0, GetTickCount()};
        if (remove) queue.quitPosted = false;
        return true;
      } else {
        const uint64_t now = GetTickCount64();
        detail::Timer* timer = detail::FirstDueTimerLocked(queue, now);
        if (!timer) return false;
        *msg = MSG{timer->hwnd, WM_TIMER, timer->id, reinterpret_cast<LPARAM>(timer->proc),
                   static_cast<uint32_t>(now)};
        if (remove) detail::RescheduleTimerLocked(*timer, now);
        return true;
      }
    }
    detail::DeliverSentMessage(sent);
  }
}

// The procedure of the live timer that produced this WM_TIMER; a posted look-alike gets none.
TIMERPROC TimerProcedureOf(const MSG& msg) {
  if (msg.lParam == 0) return nullptr;
  auto queue = CurrentQueue();
  std::lock_guard<std::mutex> lock(TheRegistry().mutex);
  for (const detail::Timer& timer : queue->timers) {
    if (timer.hwnd == msg.hwnd && timer.id == msg.wParam && timer.proc &&
        reinterpret_cast<LPARAM>(timer.proc) == msg.lParam)
      return timer.proc;
  }
  return nullptr;
}

}  // namespace

bool GetMessage(MSG* msg) {
  auto queue = CurrentQueue();
  while (!TakeMessage(*queue, msg, true)) g_main_context_iteration(queue->context, TRUE);
  return msg->message != WM_QUIT;
}

bool PeekMessage(MSG* msg, UINT removeFlags) {
  auto queue = CurrentQueue();
  const bool remove = (removeFlags & PM_REMOVE) != 0;
  if (TakeMessage(*queue, msg, remove)) return true;
  g_main_context_iteration(queue->context, FALSE);
  return TakeMessage(*queue, msg, remove);
}

LRESULT DispatchMessage(const MSG* msg) {
  if (msg == nullptr) return 0;
  if (msg->message == WM_TIMER) {
    if (TIMERPROC proc = TimerProcedureOf(*msg)) {
      proc(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
      return 0;
    }
  }
  if (msg->hwnd == nullptr) return 0;
  WNDPROC proc = nullptr;
  {
    std::lock_guard<std::mutex> lock(TheRegistry().mutex);
    auto window = detail::FindWindowLocked(msg->hwnd);
    if (!window) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    if (window->queue->threadId != CurrentQueue()->threadId) {
      SetLastError(ERROR_ACCESS_DENIED);
      return 0;
    }
    proc = window->proc;
  }
  return proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

void PostQuitMessage(int exitCode) {
  auto queue = CurrentQueue();
  std::lock_guard<std::mutex> lock(TheRegistry().mutex);
  queue->quitPosted = true;
  queue->quitCode = static_cast<WPARAM>(static_cast<intptr_t>(exitCode));
}

int RunMessageLoop() {
  MSG msg;
  while (GetMessage(&msg)) {
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }
  return static_cast<int>(msg.wParam);
}

bool RunNestedMessageLoop(const std::function<bool()>& done) {
  MSG msg;
  while (!done()) {
    if (!GetMessage(&msg)) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }
  return true;
}

}  // namespace platform
