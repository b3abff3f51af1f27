#include "uitoolkit/controls/Control.h"

#include "uitoolkit/paint/Painter.h"
#include "uitoolkit/skin/Attributes.h"
#include "uitoolkit/window/ControlHost.h"

namespace ui {

void ImageAttribute::Set(std::wstring_view text) {
  if (text == m_text) return;
  m_text.assign(text);
  m_layers = ParseImageDescription(m_text);
}

Control::Control() = default;
Control::~Control() = default;

bool Control::SetAttribute(std::wstring_view name, std::wstring_view value) {
  Rect rect;
  Color color;
  bool flag;
  int number;
  if (name == L"name") {
    m_name.assign(value);
  } else if (name == L"pos") {
    if (ParseRect(value, &rect)) {
      m_fixedPos = rect;
      m_fixedWidth = std::max(0, rect.Width());
      m_fixedHeight = std::max(0, rect.Height());
    }
  } else if (name == L"width") {
    if (ParseInt(value, &number)) m_fixedWidth = std::max(0, number);
  } else if (name == L"height") {
    if (ParseInt(value, &number)) m_fixedHeight = std::max(0, number);
  } else if (name == L"float") {
    if (ParseBool(value, &flag)) m_float = flag;
  } else if (name == L"padding") {
    if (ParseRect(value, &rect)) m_padding = rect;
  } else if (name == L"inset" || name == L"textpadding") {
    if (ParseRect(value, &rect)) m_inset = rect;
  } else if (name == L"bkcolor") {
    if (ParseColor(value, &color)) m_bkColor = color;
  } else if (name == L"bkimage") {
    m_bkImage.Set(value);
  } else if (name == L"text") {
    m_text.assign(value);
  } else if (name == L"textcolor") {
    if (ParseColor(value, &color)) m_textColor = color;
  } else if (name == L"disabledtextcolor") {
    if (ParseColor(value, &color)) m_disabledTextColor = color;
  } else if (name == L"align") {
    if (value == L"left") m_align = HAlign::kLeft;
    else if (value == L"center") m_align = HAlign::kCenter;
    else if (value == L"right") m_align = HAlign::kRight;
  } else if (name == L"valign") {
    if (value == L"top") m_valign = VAlign::kTop;
    else if (value == L"vcenter" || value == L"center") m_valign = VAlign::kCenter;
    else if (value == L"bottom") m_valign = VAlign::kBottom;
  } else if (name == L"font") {
    if (ParseInt(value, &number)) m_font = number;
  } else if (name == L"tooltip") {
    m_tooltip.assign(value);
  } else if (name == L"visible") {
    if (ParseBool(value, &flag)) m_visible = flag;
  } else if (name == L"enabled") {
    if (ParseBool(value, &flag)) m_enabled = flag;
  } else if (name == L"mouse") {
    if (ParseBool(value, &flag)) m_mouse = flag;
  } else {
    return false;
  }
  return true;
}

void Control::Attach(ControlHost* host, Control* parent) {
  m_host = host;
  m_parent = parent;
}

void Control::ForEach(const std::function<void(Control&)>& visit) { visit(*this); }

Control* Control::FindByName(std::wstring_view name) {
  Control* found = nullptr;
  ForEach([&](Control& c) {
    if (!found && c.m_name == name) found = &c;
  });
  return found;
}

bool Control::IsShown() const {
  if (!m_visible) return false;
  for (const Control* c = this; c->m_parent; c = c->m_parent) {
    if (!c->m_parent->m_visible) return false;
    if (!c->m_parent->ShowsChild(c)) return false;
  }
  return true;
}

void Control::SetPos(const Rect& rect) { m_rect = rect; }

void Control::SetVisible(bool visible) {
  if (m_visible == visible) return;
  m_visible = visible;
  if (!visible) SetHot(false);
  NeedParentLayout();
}

void Control::SetEnabled(bool enabled) {
  if (m_enabled == enabled) return;
  m_enabled = enabled;
  if (!enabled) {
    m_hot = false;
    m_pushed = false;
  }
  OnStateChanged();
}

void Control::SetText(std::wstring_view text) {
  if (m_text == text) return;
  m_text.assign(text);
  Invalidate();
}

void Control::SetBkImage(std::wstring_view text) {
  if (m_bkImage.Text() == text) return;
  m_bkImage.Set(text);
  Invalidate();
}

void Control::SetTextColor(Color color) {
  if (m_textColor == color) return;
  m_textColor = color;
  Invalidate();
}

void Control::Invalidate() {
  if (m_host && IsShown()) m_host->Invalidate(m_rect);
}

void Control::NeedParentLayout() {
  if (!m_host) return;
  m_host->NeedLayout();
  m_host->Invalidate(m_parent ? m_parent->m_rect : m_rect);
}

bool Control::SetTimer(unsigned id, uint32_t elapseMs) { return m_host && m_host->SetTimer(this, id, elapseMs); }

void Control::KillTimer(unsigned id) {
  if (m_host) m_host->KillTimer(this, id);
}

void Control::Paint(Painter& painter, const Rect& dirty) {
  if (!m_visible) return;
  const Rect area = m_rect.Intersect(dirty);
  if (area.IsEmpty()) return;
  painter.Save(area);
  PaintBackground(painter);
  PaintStatusImage(painter);
  PaintText(painter);
  PaintChildren(painter, area);
  painter.Restore();
}

void Control::PaintBackground(Painter& painter) {
  if (m_bkColor) painter.FillRect(m_rect, m_bkColor);
  if (!m_bkImage.IsEmpty()) painter.DrawImage(m_bkImage, m_rect);
}

Control* Control::FindAt(int x, int y) {
  if (!m_visible || !m_mouse || !m_rect.Contains(x, y)) return nullptr;
  return this;
}

void Control::SetHot(bool hot) {
  if (m_hot == hot) return;
  m_hot = hot;
  OnStateChanged();
}

void Control::SetPushed(bool pushed) {
  if (m_pushed == pushed) return;
  m_pushed = pushed;
  OnStateChanged();
}

void Control::SetFocused(bool focused) {
  if (m_focused == focused) return;
  m_focused = focused;
  OnStateChanged();
}

void Control::OnClick() {}

}  // namespace ui
