// An edit control. Its text is set from code (no notification) or edited by the user, which sends
// "textchanged". On a shown window the display back end edits it through a native entry placed
// over its rectangle (input methods, selection, clipboard); without one, typed characters and
// Backspace edit it directly, which is also how the headless tests type.
#pragma once

#include "uitoolkit/controls/Label.h"

namespace ui {

class Edit : public Label {
 public:
  Edit();
  std::wstring_view Kind() const override { return L"Edit"; }
  bool SetAttribute(std::wstring_view name, std::wstring_view value) override;
  bool IsInteractive() const override { return true; }
  bool TakesFocus() const override { return true; }

  void SetText(std::wstring_view text) override;
  // The user's edit: the new text, and "textchanged" when it differs.
  void SetTextFromUser(std::wstring_view text);
  void OnChar(wchar_t c) override;
  bool OnKeyDown(unsigned key) override;

  int MaxChars() const { return m_maxChars; }
  bool IsReadOnly() const { return m_readOnly; }
  // Set by the back end while a native entry shows the text, so it is not drawn twice.
  void SetNativelyShown(bool shown);

 protected:
  void PaintStatusImage(Painter& painter) override;
  void PaintText(Painter& painter) override;

 private:
  ImageAttribute m_normalImage;
  ImageAttribute m_hotImage;
  ImageAttribute m_focusedImage;
  ImageAttribute m_disabledImage;
  int m_maxChars = 255;
  bool m_readOnly = false;
  bool m_nativelyShown = false;
};

}  // namespace ui
