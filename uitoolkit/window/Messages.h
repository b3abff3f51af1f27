// The window messages, system commands, virtual keys and styles the toolkit uses, with their
// Windows values, beside the platform's own message vocabulary.
#pragma once

#include <cstdint>

#include "platform/messages.h"

namespace ui {

using platform::LPARAM;
using platform::UINT;
using platform::WPARAM;

inline constexpr UINT WM_SIZE = 0x0005;
inline constexpr UINT WM_ACTIVATE = 0x0006;
inline constexpr UINT WM_SETFOCUS = 0x0007;
inline constexpr UINT WM_KILLFOCUS = 0x0008;
inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_SHOWWINDOW = 0x0018;
inline constexpr UINT WM_KEYDOWN = 0x0100;
inline constexpr UINT WM_KEYUP = 0x0101;
inline constexpr UINT WM_CHAR = 0x0102;
inline constexpr UINT WM_SYSCOMMAND = 0x0112;
inline constexpr UINT WM_MOUSEMOVE = 0x0200;
inline constexpr UINT WM_LBUTTONDOWN = 0x0201;
inline constexpr UINT WM_LBUTTONUP = 0x0202;
inline constexpr UINT WM_MOUSELEAVE = 0x02A3;

inline constexpr WPARAM SC_MINIMIZE = 0xF020;
inline constexpr WPARAM SC_MAXIMIZE = 0xF030;
inline constexpr WPARAM SC_CLOSE = 0xF060;
inline constexpr WPARAM SC_RESTORE = 0xF120;

inline constexpr unsigned VK_BACK = 0x08;
inline constexpr unsigned VK_TAB = 0x09;
inline constexpr unsigned VK_RETURN = 0x0D;
inline constexpr unsigned VK_ESCAPE = 0x1B;
inline constexpr unsigned VK_SPACE = 0x20;

inline constexpr uint32_t WS_POPUP = 0x80000000u;
inline constexpr uint32_t WS_SYSMENU = 0x00080000u;
inline constexpr uint32_t WS_MINIMIZEBOX = 0x00020000u;

// Mouse positions travel in lParam as two signed 16-bit window coordinates.
inline LPARAM MakePointParam(int x, int y) {
  return static_cast<LPARAM>((static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16) | static_cast<uint16_t>(x));
}
inline int PointX(LPARAM lParam) { return static_cast<int16_t>(static_cast<uint16_t>(lParam & 0xFFFF)); }
inline int PointY(LPARAM lParam) { return static_cast<int16_t>(static_cast<uint16_t>((lParam >> 16) & 0xFFFF)); }

}  // namespace ui
