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

namespace {

// Stacks the children along one axis: fixed extents first, the rest shared equally; across the
// axis a child takes its fixed extent or the whole content less its padding.
void StackChildren(const std::vector<Control*>& flowing, const Rect& content, bool vertical) {
  auto along = [vertical](const Rect& r, int* before, int* after) {
    *before = vertical ? r.top : r.left;
    *after = vertical ? r.bottom : r.right;
  };
  auto fixedAlong = [vertical](const Control* c) { return vertical ? c->FixedHeight() : c->FixedWidth(); };
  auto fixedAcross = [vertical](const Control* c) { return vertical ? c->FixedWidth() : c->FixedHeight(); };
  int fixed = 0;
  int autoCount = 0;
  for (Control* child : flowing) {
    int before, after;
    along(child->Padding(), &before, &after);
    fixed += before + after;
    if (fixedAlong(child) > 0) fixed += fixedAlong(child);
    else ++autoCount;
  }
  const int length = vertical ? content.Height() : content.Width();
  const int rest = length - fixed;
  int cursor = vertical ? content.top : content.left;
  int autoIndex = 0;
  for (Control* child : flowing) {
    const Rect& pad = child->Padding();
    int before, after;
    along(pad, &before, &after);
    const int extent = fixedAlong(child) > 0 ? fixedAlong(child) : ShareOf(rest, autoCount, autoIndex++);
    const int acrossStart = (vertical ? content.left + pad.left : content.top + pad.top);
    const int acrossExtent = fixedAcross(child) > 0 ? fixedAcross(child)
                             : vertical             ? content.Width() - pad.left - pad.right
                                                    : content.Height() - pad.top - pad.bottom;
    cursor += before;
    child->SetPos(vertical ? Rect{acrossStart, cursor, acrossStart + acrossExtent, cursor + extent}
                           : Rect{cursor, acrossStart, cursor + extent, acrossStart + acrossExtent});
    cursor += extent + after;
  }
}

}  // namespace

void VerticalLayout::LayoutChildren(const Rect& content) { StackChildren(Flowing(), content, true); }

void HorizontalLayout::LayoutChildren(const Rect& content) { StackChildren(Flowing(), content, false); }

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
