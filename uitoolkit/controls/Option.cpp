#include "uitoolkit/controls/Option.h"

#include "uitoolkit/skin/Attributes.h"
#include "uitoolkit/window/ControlHost.h"
#include "uitoolkit/window/Notification.h"

namespace ui {

Option::Option() { m_align = HAlign::kLeft; }

bool Option::SetAttribute(std::wstring_view name, std::wstring_view value) {
  bool flag;
  if (name == L"selected") {
    if (ParseBool(value, &flag)) m_selected = flag;
  } else if (name == L"group") {
    m_group.assign(value);
  } else if (name == L"selectedimage") {
    m_selectedImage.Set(value);
  } else if (name == L"selectedhotimage") {
    m_selectedHotImage.Set(value);
  } else {
    return Button::SetAttribute(name, value);
  }
  return true;
}

const ImageAttribute& Option::StateImage() const {
  if (m_selected && m_enabled) {
    if ((m_hot || m_pushed) && !m_selectedHotImage.IsEmpty()) return m_selectedHotImage;
    if (!m_selectedImage.IsEmpty()) return m_selectedImage;
  }
  return Button::StateImage();
}

void Option::Selected(bool selected, bool notify) {
  if (m_selected == selected) return;
  m_selected = selected;
  if (selected && !m_group.empty() && m_host) {
    m_host->Root()->ForEach([this, notify](Control& c) {
      if (&c == this || c.Kind() != L"Option") return;
      auto& other = static_cast<Option&>(c);
      if (other.m_group == m_group) other.Selected(false, notify);
    });
  }
  Invalidate();
  if (notify && m_host) m_host->SendNotify(this, notify::kSelectChanged);
}

void Option::OnClick() {
  if (!m_host) return;
  const std::shared_ptr<const bool> alive = m_host->AliveFlag();
  Button::OnClick();
  if (!*alive) return;
  // A radio group keeps one selected: clicking the selected one changes nothing.
  if (m_group.empty()) Selected(!m_selected, true);
  else if (!m_selected) Selected(true, true);
}

}  // namespace ui
