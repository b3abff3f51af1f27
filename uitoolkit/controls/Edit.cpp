#include "uitoolkit/controls/Edit.h"

#include "uitoolkit/paint/Painter.h"
#include "uitoolkit/skin/Attributes.h"
#include "uitoolkit/window/ControlHost.h"
#include "uitoolkit/window/Messages.h"
#include "uitoolkit/window/Notification.h"

namespace ui {

Edit::Edit() { m_valign = VAlign::kCenter; }

bool Edit::SetAttribute(std::wstring_view name, std::wstring_view value) {
  int number;
  bool flag;
  if (name == L"normalimage") m_normalImage.Set(value);
  else if (name == L"hotimage") m_hotImage.Set(value);
  else if (name == L"focusedimage") m_focusedImage.Set(value);
  else if (name == L"disabledimage") m_disabledImage.Set(value);
  else if (name == L"maxchar") {
    if (ParseInt(value, &number) && number > 0) m_maxChars = number;
  } else if (name == L"readonly") {
    if (ParseBool(value, &flag)) m_readOnly = flag;
  } else {
    return Label::SetAttribute(name, value);
  }
  return true;
}

void Edit::SetText(std::wstring_view text) {
  if (m_text == text) return;
  Label::SetText(text);
  if (m_host) m_host->EditTextSetByCode(this);
}

void Edit::SetTextFromUser(std::wstring_view text) {
  if (m_text == text) return;
  m_text.assign(text);
  Invalidate();
  if (m_host) m_host->SendNotify(this, notify::kTextChanged);
}

void Edit::OnChar(wchar_t c) {
  if (m_readOnly || !m_enabled || c < 0x20 || c == 0x7F) return;
  if (static_cast<int>(m_text.size()) >= m_maxChars) return;
  SetTextFromUser(m_text + c);
}

bool Edit::OnKeyDown(unsigned key) {
  if (key != VK_BACK || m_readOnly || !m_enabled) return false;
  if (!m_text.empty()) SetTextFromUser(std::wstring_view(m_text).substr(0, m_text.size() - 1));
  return true;
}

void Edit::SetNativelyShown(bool shown) {
  if (m_nativelyShown == shown) return;
  m_nativelyShown = shown;
  Invalidate();
}

void Edit::PaintStatusImage(Painter& painter) {
  const ImageAttribute* image = &m_normalImage;
  if (!m_enabled && !m_disabledImage.IsEmpty()) image = &m_disabledImage;
  else if (m_focused && !m_focusedImage.IsEmpty()) image = &m_focusedImage;
  else if (m_hot && !m_hotImage.IsEmpty()) image = &m_hotImage;
  if (!image->IsEmpty()) painter.DrawImage(*image, m_rect);
}

void Edit::PaintText(Painter& painter) {
  if (!m_nativelyShown) Label::PaintText(painter);
}

}  // namespace ui
