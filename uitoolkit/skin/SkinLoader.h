// Builds a window's control tree from its XML in the skin. Unknown elements (with what they hold)
// and unknown attributes are skipped; broken XML, a missing file or a document without a root
// container fails, with the reason in *error.
#pragma once

#include <memory>
#include <string>

#include "uitoolkit/controls/Control.h"
#include "uitoolkit/paint/Fonts.h"
#include "uitoolkit/skin/Geometry.h"

namespace ui {

class SkinArchive;

// The window element's attributes.
struct WindowDesc {
  Size size;
  Size minInfo;
  Size maxInfo;
  Rect caption;  // drag area, measured from the window's edges (0 right/bottom: up to the edge)
  std::wstring shadowImage;
  Rect shadowCorner;  // the shadow image's nine-slice border, also how far it reaches out
  Size roundCorner;
  FontSet fonts;
};

std::unique_ptr<Control> LoadWindowSkin(SkinArchive& skin, const std::wstring& fileName, WindowDesc* window,
                                        std::string* error);
// The same from XML text (the fuzz target and the tests feed it directly).
std::unique_ptr<Control> ParseWindowSkin(const std::string& xml, WindowDesc* window, std::string* error);

// A control of the kind an element names, or null for a kind the toolkit does not have.
std::unique_ptr<Control> CreateControl(std::wstring_view kind);

}  // namespace ui
