#include "uitoolkit/controls/Progress.h"

#include "uitoolkit/paint/Painter.h"
#include "uitoolkit/skin/Attributes.h"

namespace ui {

Progress::Progress() { m_align = HAlign::kCenter; }

bool Progress::SetAttribute(std::wstring_view name, std::wstring_view value) {
  int number;
  if (name == L"foreimage") m_foreImage.Set(value);
  else if (name == L"min") {
    if (ParseInt(value, &number)) m_min = number;
  } else if (name == L"max") {
    if (ParseInt(value, &number)) m_max = number;
  } else if (name == L"value") {
    if (ParseInt(value, &number)) m_value = number;
  } else if (name == L"hor" || name == L"isstretchfore") {
    // Only horizontal, stretched bars exist here.
  } else {
    return Label::SetAttribute(name, value);
  }
  return true;
}

void Progress::SetValue(int value) {
  if (m_value == value) return;
  m_value = value;
  if (!m_foreImage.IsEmpty()) Invalidate();
}

void Progress::PaintStatusImage(Painter& painter) {
  if (m_foreImage.IsEmpty() || m_max <= m_min) return;
  const int clamped = std::clamp(m_value, m_min, m_max);
  const int width = static_cast<int>(static_cast<long long>(m_rect.Width()) * (clamped - m_min) / (m_max - m_min));
  if (width <= 0) return;
  Rect fill = m_rect;
  fill.right = fill.left + width;
  painter.Save(fill);
  painter.DrawImage(m_foreImage, m_rect);
  painter.Restore();
}

}  // namespace ui
