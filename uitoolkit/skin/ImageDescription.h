// Image descriptions: the value of every image attribute. Either a bare file name, or one or more
// descriptions "file='x.png' source='l,t,r,b' dest='l,t,r,b' corner='l,t,r,b' ..." separated by
// any white space, drawn in order. The parser never fails as a whole: a key it does not know, a
// value it cannot read or a description without a file is skipped, and the rest still counts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "uitoolkit/skin/Geometry.h"

namespace ui {

struct ImageLayer {
  std::wstring file;
  bool hasSource = false;
  Rect source;  // part of the image, in image pixels at scale 1
  bool hasDest = false;
  Rect dest;    // relative to the control's rectangle
  Rect corner;  // nine-slice border of the source: corners unscaled, the middle stretched
  bool hole = false;  // with a corner: leave the middle out
  bool xtiled = false;
  bool ytiled = false;
  uint8_t fade = 255;  // opacity
  bool operator==(const ImageLayer&) const = default;
};

std::vector<ImageLayer> ParseImageDescription(std::wstring_view text);

}  // namespace ui
