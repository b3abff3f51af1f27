#include "uitoolkit/controls/Button.h"

#include "uitoolkit/paint/Painter.h"
#include "uitoolkit/window/ControlHost.h"
#include "uitoolkit/window/Notification.h"

namespace ui {

Button::Button() { m_align = HAlign::kCenter; }

bool Button::SetAttribute(std::wstring_view name, std::wstring_view value) {
  if (name == L"normalimage") m_normalImage.Set(value);
  else if (name == L"hotimage") m_hotImage.Set(value);
  else if (name == L"pushedimage") m_pushedImage.Set(value);
  else if (name == L"disabledimage") m_disabledImage.Set(value);
  else return Label::SetAttribute(name, value);
  return true;
}

const ImageAttribute& Button::StateImage() const {
  if (!m_enabled && !m_disabledImage.IsEmpty()) return m_disabledImage;
  if (m_pushed && m_hot && !m_pushedImage.IsEmpty()) return m_pushedImage;
  if ((m_hot || m_pushed) && !m_hotImage.IsEmpty()) return m_hotImage;
  return m_normalImage;
}

void Button::PaintStatusImage(Painter& painter) {
  const ImageAttribute& image = StateImage();
  if (!image.IsEmpty()) painter.DrawImage(image, m_rect);
}

void Button::OnClick() {
  if (m_host) m_host->SendNotify(this, notify::kClick);
}

}  // namespace ui
