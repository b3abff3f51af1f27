// A label: its text in its font and colour, aligned inside its rectangle less the inset.
#pragma once

#include "uitoolkit/controls/Control.h"
#include "uitoolkit/paint/Painter.h"

namespace ui {

class Label : public Control {
 public:
  std::wstring_view Kind() const override { return L"Label"; }

 protected:
  void PaintText(Painter& painter) override;
  // The colour the text is drawn in: the disabled colour when disabled, black when none is set.
  Color EffectiveTextColor() const;

  TextLayoutCache m_textCache;
};

}  // namespace ui
