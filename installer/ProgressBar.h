// The progress bar of the main window's last page, drawn entirely through the background image
// attribute of its progress control: the empty bar, the filled part (download bytes over the first
// nine tenths, the install counter over the last tenth), and a flash sliding along it.
#pragma once

#include <cstdint>
#include <string>

namespace progressbar {

inline constexpr int kFlashBackWidth = 80;
inline constexpr int kFlashForeWidth = 230;
inline constexpr int kFlashStep = 3;
inline constexpr int kMaxCorner = 110;
// The attribute text never grows beyond this many characters.
inline constexpr size_t kAttributeCapacity = 519;

// The filled width in pixels of a bar `width` wide.
int FillWidth(int width, int64_t total, int64_t completed, int32_t installCounter, bool localPackage);

// The flash's next right edge: one step on (when `step`), back to 0 once it reaches width + 80.
int NextFlashPos(int flashPos, int width, bool step);

// The four-layer attribute text for a bar `width` wide, filled to `value`, flash edge at `x`.
std::wstring Attribute(int width, int value, int x);

}  // namespace progressbar
