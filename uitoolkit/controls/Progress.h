// A progress bar: the background image attribute (which may draw the whole bar by itself, layer
// by layer) and, when the skin gives one, a fore image stretched over the filled share.
#pragma once

#include "uitoolkit/controls/Label.h"

namespace ui {

class Progress : public Label {
 public:
  Progress();
  std::wstring_view Kind() const override { return L"Progress"; }
  bool SetAttribute(std::wstring_view name, std::wstring_view value) override;
  int GetValue() const { return m_value; }
  void SetValue(int value);
  int GetMinValue() const { return m_min; }
  int GetMaxValue() const { return m_max; }

 protected:
  void PaintStatusImage(Painter& painter) override;

 private:
  ImageAttribute m_foreImage;
  int m_min = 0;
  int m_max = 100;
  int m_value = 0;
};

}  // namespace ui
