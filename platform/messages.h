// The vocabulary of the message system: window handles, message parameters, the message record
// and the message numbers the system relies on, with their Windows values.
#pragma once

#include <cstdint>

namespace platform {

// An opaque window handle. Its value is a number that is never reused in the process, so a
// stale handle is simply invalid (IsWindow is false) and never reaches another window.
struct WindowHandleTag;
using HWND = WindowHandleTag*;

using UINT = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using UINT_PTR = uintptr_t;
using LONG_PTR = intptr_t;

// The parent that makes a window message-only: it has no surface and receives messages only.
inline const HWND HWND_MESSAGE = reinterpret_cast<HWND>(static_cast<intptr_t>(-3));

struct MSG {
  HWND hwnd = nullptr;  // null for thread messages (WM_QUIT, thread timers)
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  uint32_t time = 0;  // tick count when the message was posted or generated
};

inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_ENABLE = 0x000A;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_NCCREATE = 0x0081;
inline constexpr UINT WM_NCDESTROY = 0x0082;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT WM_APP = 0x8000;

// Registered messages (RegisterWindowMessage) take their numbers from this range.
inline constexpr UINT kFirstRegisteredMessage = 0xC000;
inline constexpr UINT kLastRegisteredMessage = 0xFFFF;

}  // namespace platform
