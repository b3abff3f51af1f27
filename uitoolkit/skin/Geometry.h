// Rectangles, sizes and colours of the skin, in window pixels (display scale 1).
#pragma once

#include <algorithm>
#include <cstdint>

namespace ui {

struct Size {
  int cx = 0;
  int cy = 0;
  bool operator==(const Size&) const = default;
};

// Left, top, right, bottom; right and bottom are exclusive.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  Rect Offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
  Rect Deflate(const Rect& by) const {
    return {left + by.left, top + by.top, right - by.right, bottom - by.bottom};
  }
  Rect Intersect(const Rect& o) const {
    Rect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right), std::min(bottom, o.bottom)};
    return r.IsEmpty() ? Rect{} : r;
  }
  Rect Union(const Rect& o) const {
    if (IsEmpty()) return o;
    if (o.IsEmpty()) return *this;
    return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right), std::max(bottom, o.bottom)};
  }
  bool operator==(const Rect&) const = default;
};

// 0xAARRGGBB as the skin writes it ("#FF00396A"); alpha 0 with a zero value means "not set".
using Color = uint32_t;

}  // namespace ui
