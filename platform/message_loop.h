// Each thread's message queue and the pump that empties it, on the thread's GLib main context (the
// default context for the process's main thread), so that every other event source attached to
// that context (the display, descriptor watches, signals) is served by the same loop.
//
// A thread looks at its queue in this order: messages sent from other threads (handled on the
// spot), posted messages in posting order, WM_QUIT, then due timers (platform/timer.h).
#pragma once

#include <functional>

#include "platform/messages.h"

namespace platform {

inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;

// Waits for the next message and removes it. Returns false when it is WM_QUIT.
bool GetMessage(MSG* msg);

// Takes the next message without waiting: true if there was one. Other event sources of the
// thread's context get one chance to run first when the queue is empty.
bool PeekMessage(MSG* msg, UINT removeFlags);

// Keyboard translation has no meaning here; kept so that loops read as the system's loops do.
inline bool TranslateMessage(const MSG*) { return false; }

// Calls the window procedure of msg->hwnd (or the procedure of the timer that produced a
// WM_TIMER) and returns its result; a thread message without a timer procedure gives 0.
LRESULT DispatchMessage(const MSG* msg);

// Asks the calling thread's loop to end: GetMessage returns WM_QUIT with `exitCode` once the
// posted messages before it have been taken.
void PostQuitMessage(int exitCode);

// The outermost loop: Get, Translate, Dispatch until WM_QUIT. Returns WM_QUIT's wParam.
int RunMessageLoop();

// A nested (modal) loop: runs until `done()` is true after a message, or WM_QUIT arrives, in
// which case WM_QUIT is posted again so that the enclosing loop ends too. Returns false when
// it ended by WM_QUIT.
bool RunNestedMessageLoop(const std::function<bool()>& done);

}  // namespace platform
