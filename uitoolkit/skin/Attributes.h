// The value forms of skin attributes: numbers, number lists, rectangles, sizes, colours, booleans.
// Skins are untrusted input: a malformed value is rejected (the attribute keeps its default), and
// numbers are held to the 16-bit coordinate range so that no later sum can overflow.
#pragma once

#include <string_view>

#include "uitoolkit/skin/Geometry.h"

namespace ui {

inline constexpr int kMaxCoordinate = 32767;

// A decimal integer with an optional sign and surrounding spaces, clamped to ±kMaxCoordinate.
bool ParseInt(std::wstring_view text, int* value);
// "l,t,r,b": exactly four numbers.
bool ParseRect(std::wstring_view text, Rect* rect);
// "w,h": exactly two numbers.
bool ParseSize(std::wstring_view text, Size* size);
// "#AARRGGBB" or "#RRGGBB" (opaque), also without '#' or with a "0x" prefix.
bool ParseColor(std::wstring_view text, Color* color);
// "true"/"false" (any case), "1"/"0".
bool ParseBool(std::wstring_view text, bool* value);

}  // namespace ui
