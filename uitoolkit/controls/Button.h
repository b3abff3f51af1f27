// A button: the image of its state (disabled, pushed, hot, else normal) under its text, and a
// "click" when the mouse is released over it after a press on it.
#pragma once

#include "uitoolkit/controls/Label.h"

namespace ui {

class Button : public Label {
 public:
  Button();
  std::wstring_view Kind() const override { return L"Button"; }
  bool SetAttribute(std::wstring_view name, std::wstring_view value) override;
  bool IsInteractive() const override { return true; }
  bool TakesFocus() const override { return true; }
  void OnClick() override;

 protected:
  void PaintStatusImage(Painter& painter) override;
  // The state image, falling back to the normal image where the skin has none for the state.
  virtual const ImageAttribute& StateImage() const;

  ImageAttribute m_normalImage;
  ImageAttribute m_hotImage;
  ImageAttribute m_pushedImage;
  ImageAttribute m_disabledImage;
};

}  // namespace ui
