// An option (check box): a button with a selected state. A click toggles it; options that share
// a group behave as radio buttons (a click selects, the others of the group clear). Every change
// of the state sends "selectchanged", after the "click".
#pragma once

#include "uitoolkit/controls/Button.h"

namespace ui {

class Option : public Button {
 public:
  Option();
  std::wstring_view Kind() const override { return L"Option"; }
  bool SetAttribute(std::wstring_view name, std::wstring_view value) override;
  bool IsSelected() const { return m_selected; }
  // From code: no notification unless `notify`.
  void Selected(bool selected, bool notify = false);
  const std::wstring& Group() const { return m_group; }
  void OnClick() override;

 protected:
  const ImageAttribute& StateImage() const override;

 private:
  bool m_selected = false;
  std::wstring m_group;
  ImageAttribute m_selectedImage;
  ImageAttribute m_selectedHotImage;
};

}  // namespace ui
