#include "uitoolkit/controls/Label.h"

#include "uitoolkit/paint/Painter.h"

namespace ui {

Color Label::EffectiveTextColor() const {
  if (!m_enabled) return m_disabledTextColor ? m_disabledTextColor : 0xFFA7A6AAu;
  return m_textColor ? m_textColor : 0xFF000000u;
}

void Label::PaintText(Painter& painter) {
  if (m_text.empty()) return;
  painter.DrawText(m_text, m_rect.Deflate(m_inset), m_font, EffectiveTextColor(), m_align, m_valign, &m_textCache,
                   &m_rect);
}

}  // namespace ui
