#include "uitoolkit/controls/Container.h"

#include "uitoolkit/paint/Painter.h"
#include "uitoolkit/skin/Attributes.h"
#include "uitoolkit/window/ControlHost.h"

namespace ui {
namespace {

// Shares `total` among `count` takers; the first ones get the odd pixels.
int ShareOf(int total, int count, int index) {
  if (count <= 0 || total <= 0) return 0;
  return total / count + (index < total % count ? 1 : 0);
}

}  // namespace

void Container::Add(std::unique_ptr<Control> child) {
  child->Attach(m_host, this);
  m_children.push_back(std::move(child));
}

void Container::Attach(ControlHost* host, Control* parent) {
  Control::Attach(host, parent);
  for (auto& child : m_children) child->Attach(host, this);
}

void Container::ForEach(const std::function<void(Control&)>& visit) {
  visit(*this);
  for (auto& child : m_children) child->ForEach(visit);
}

Rect Container::FloatingRect(const Control& child, const Rect& content) const {
  return child.FixedPos().Offset(content.left, content.top);
}

std::vector<Control*> Container::Flowing() const {
  std::vector<Control*> flowing;
  for (auto& child : m_children)
    if (child->IsVisible() && !child->IsFloat()) flowing.push_back(child.get());
  return flowing;
}

void Container::SetPos(const Rect& rect) {
  Control::SetPos(rect);
  const Rect content = rect.Deflate(m_inset);
  for (auto& child : m_children)
    if (child->IsFloat()) child->SetPos(FloatingRect(*child, content));
  LayoutChildren(content);
}

void Container::LayoutChildren(const Rect& content) {
  for (Control* child : Flowing()) {
    const Rect area = content.Deflate(child->Padding());
    Rect r = area;
    if (child->FixedWidth() > 0) r.right = r.left + child->FixedWidth();
    if (child->FixedHeight() > 0) r.bottom = r.top + child->FixedHeight();
    child->SetPos(r);
  }
}

void VerticalLayout::LayoutChildren(const Rect& content) {
  const std::vector<Control*> flowing = Flowing();
  int fixed = 0;
  int autoCount = 0;
  for (Control* child : flowing) {
    fixed += child->Padding().top + child->Padding().bottom;
    if (child->FixedHeight() > 0) fixed += child->FixedHeight();
    else ++autoCount;
  }
  const int rest = content.Height() - fixed;
  int y = content.top;
  int autoIndex = 0;
  for (Control* child : flowing) {
    const Rect& pad = child->Padding();
    const int height = child->FixedHeight() > 0 ? child->FixedHeight() : ShareOf(rest, autoCount, autoIndex++);
    const int left = content.left + pad.left;
    const int width = child->FixedWidth() > 0 ? child->FixedWidth() : content.Width() - pad.left - pad.right;
    y += pad.top;
    child->SetPos(Rect{left, y, left + width, y + height});
    y += height + pad.bottom;
  }
}

void HorizontalLayout::LayoutChildren(const Rect& content) {
  const std::vector<Control*> flowing = Flowing();
  int fixed = 0;
  int autoCount = 0;
  for (Control* child : flowing) {
    fixed += child->Padding().left + child->Padding().right;
    if (child->FixedWidth() > 0) fixed += child->FixedWidth();
    else ++autoCount;
  }
  const int rest = content.Width() - fixed;
  int x = content.left;
  int autoIndex = 0;
  for (Control* child : flowing) {
    const Rect& pad = child->Padding();
    const int width = child->FixedWidth() > 0 ? child->FixedWidth() : ShareOf(rest, autoCount, autoIndex++);
    const int top = content.top + pad.top;
    const int height = child->FixedHeight() > 0 ? child->FixedHeight() : content.Height() - pad.top - pad.bottom;
    x += pad.left;
    child->SetPos(Rect{x, top, x + width, top + height});
    x += width + pad.right;
  }
}

void Container::PaintChildren(Painter& painter, const Rect& dirty) {
  for (auto& child : m_children)
    if (ShowsChild(child.get())) child->Paint(painter, dirty);
}

Control* Container::FindAt(int x, int y) {
  if (!m_visible || !m_rect.Contains(x, y)) return nullptr;
  for (auto it = m_children.rbegin(); it != m_children.rend(); ++it) {
    if (!ShowsChild(it->get())) continue;
    if (Control* hit = (*it)->FindAt(x, y)) return hit;
  }
  return m_mouse ? this : nullptr;
}

bool TabLayout::SetAttribute(std::wstring_view name, std::wstring_view value) {
  int number;
  if (name == L"selectedid") {
    if (ParseInt(value, &number)) m_selected = number;
    return true;
  }
  return Container::SetAttribute(name, value);
}

bool TabLayout::SelectItem(int index) {
  if (index < 0 || index >= static_cast<int>(m_children.size())) return false;
  if (index == m_selected) return true;
  if (ChildAt(static_cast<size_t>(m_selected))) ChildAt(static_cast<size_t>(m_selected))->SetHot(false);
  m_selected = index;
  if (m_host) {
    m_host->NeedLayout();
    m_host->Invalidate(m_rect);
  }
  return true;
}

bool TabLayout::ShowsChild(const Control* child) const {
  return m_selected >= 0 && static_cast<size_t>(m_selected) < m_children.size() &&
         m_children[static_cast<size_t>(m_selected)].get() == child;
}

void TabLayout::LayoutChildren(const Rect& content) {
  for (auto& child : m_children) {
    if (child->IsFloat()) continue;
    // Every page is laid out, shown or not, so that switching pages needs no layout of its own.
    child->SetPos(content.Deflate(child->Padding()));
  }
}

}  // namespace ui
