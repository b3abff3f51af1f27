// A notification: what a control tells its window's code ("click", "selectchanged",
// "textchanged", "timer", or any type a caller sends itself).
#pragma once

#include <string>

#include "platform/messages.h"

namespace ui {

class Control;

struct Notification {
  std::wstring type;
  Control* sender = nullptr;
  platform::WPARAM wParam = 0;  // "timer": the control's timer id
  platform::LPARAM lParam = 0;
};

namespace notify {
inline constexpr wchar_t kClick[] = L"click";
inline constexpr wchar_t kSelectChanged[] = L"selectchanged";
inline constexpr wchar_t kTextChanged[] = L"textchanged";
inline constexpr wchar_t kTimer[] = L"timer";
}  // namespace notify

}  // namespace ui
