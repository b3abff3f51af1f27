// Timers of the calling thread's message loop. A timer is not a queued message: it is a due time
// that the queue looks at when it has nothing else to give, so a busy loop gets one WM_TIMER per
// timer however many periods went by, never two queued for the same timer. Times follow
// platform::GetTickCount64, so a test clock drives them too.
#pragma once

#include <cstdint>

#include "platform/messages.h"

namespace platform {

using TIMERPROC = void (*)(HWND hwnd, UINT message, UINT_PTR idEvent, uint32_t time);

// Periods are held to [10 ms, 0x7FFFFFFF ms], as on Windows.
inline constexpr uint32_t USER_TIMER_MINIMUM = 10;
inline constexpr uint32_t USER_TIMER_MAXIMUM = 0x7FFFFFFF;

// With a window (of the calling thread): (re)starts the timer `id` of that window and returns a
// non-zero value; its WM_TIMER goes to `proc` if given, else to the window procedure.
// Without a window: `id` restarts an existing thread timer of the calling thread; otherwise a new
// thread timer with a fresh id is made, and that id is returned. DispatchMessage of its WM_TIMER
// (hwnd null, wParam the id, lParam the procedure) calls `proc`.
// Returns 0 on failure (an invalid window, or a window of another thread).
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, uint32_t elapseMs, TIMERPROC proc);

// Stops a timer of the calling thread; no WM_TIMER comes from it afterwards.
bool KillTimer(HWND hwnd, UINT_PTR id);

}  // namespace platform
