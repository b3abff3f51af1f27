// Windows with window procedures, as the system's code expects them: classes registered by name,
// message-only windows, user data, enabling, destruction with its final message, posting from any
// thread and sending. A window belongs to the thread that created it: its posted messages go to
// that thread's queue and its procedure runs on that thread only.
#pragma once

#include <cstdint>

#include "platform/messages.h"

namespace platform {

using WNDPROC = LRESULT (*)(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

struct WNDCLASS {
  WNDPROC lpfnWndProc = nullptr;
  const wchar_t* lpszClassName = nullptr;
};

// What WM_NCCREATE and WM_CREATE carry in lParam.
struct CREATESTRUCT {
  void* lpCreateParams = nullptr;
  HWND hwndParent = nullptr;
  const wchar_t* lpszName = nullptr;
  const wchar_t* lpszClass = nullptr;
  uint32_t style = 0;
  uint32_t exStyle = 0;
};

inline constexpr int GWLP_WNDPROC = -4;
inline constexpr int GWLP_USERDATA = -21;

inline constexpr uint32_t ERROR_CANNOT_FIND_WND_CLASS = 1407;
inline constexpr uint32_t ERROR_CLASS_ALREADY_EXISTS = 1410;
inline constexpr uint32_t ERROR_CLASS_DOES_NOT_EXIST = 1411;
inline constexpr uint32_t ERROR_INVALID_INDEX = 1413;

// Class names compare without regard to case. Returns a non-zero atom, or 0 (last error
// ERROR_CLASS_ALREADY_EXISTS or ERROR_INVALID_PARAMETER).
uint16_t RegisterClass(const WNDCLASS& windowClass);
// Removes a class registered by name (without regard to case); windows already made keep their
// procedure. False (ERROR_CLASS_DOES_NOT_EXIST) when there is no such class.
bool UnregisterClass(const wchar_t* className);

// Creates a window of a registered class on the calling thread. WM_NCCREATE and WM_CREATE are sent
// before it returns; a WM_NCCREATE answered with 0 or a WM_CREATE answered with -1 destroys it
// again and null is returned. `parent` HWND_MESSAGE makes a message-only window; any other
// non-null parent owns the new window, which is destroyed with it.
HWND CreateWindow(const wchar_t* className, const wchar_t* title, uint32_t style, uint32_t exStyle,
                  HWND parent, void* createParam);

// Sends WM_DESTROY, destroys the windows it owns, drops its timers and queued messages, sends
// WM_NCDESTROY as the very last message and invalidates the handle. Only the owning thread may
// destroy a window (ERROR_ACCESS_DENIED otherwise).
bool DestroyWindow(HWND hwnd);

// True from creation until WM_NCDESTROY has returned.
bool IsWindow(HWND hwnd);

// Returns whether the window was disabled before; sends WM_ENABLE when the state changes.
bool EnableWindow(HWND hwnd, bool enable);
bool IsWindowEnabled(HWND hwnd);

// GWLP_USERDATA (free for the owner's use) and GWLP_WNDPROC. Set returns the previous value.
LONG_PTR GetWindowLongPtr(HWND hwnd, int index);
LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value);

// The id of the thread that created the window, 0 for an invalid handle.
uint32_t GetWindowThreadId(HWND hwnd);

// The default handling: WM_NCCREATE is accepted, WM_CLOSE destroys the window, the rest gives 0.
LRESULT DefWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Appends a message to the queue of the window's thread, from any thread. A null hwnd posts a
// thread message to the calling thread. Fails (ERROR_INVALID_WINDOW_HANDLE) for a window that has
// been destroyed.
bool PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Calls the window procedure and returns its result. From another thread the message is handed to
// the window's thread, which handles it the next time it looks at its queue; the caller waits,
// handling messages sent to its own thread meanwhile. 0 when the window is or becomes invalid.
LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The same number in [0xC000, 0xFFFF] for the same name (case-insensitive) within the process;
// 0 for an empty name or when the range is used up.
UINT RegisterWindowMessage(const wchar_t* name);

}  // namespace platform
