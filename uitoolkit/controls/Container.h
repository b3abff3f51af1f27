// Containers and their layouts. A floating child takes its "pos" as an absolute rectangle inside
// the container's content area (the rectangle less the inset); the others are laid out:
// Container stacks them, each filling the content area; the vertical and horizontal layouts give
// fixed heights (widths) first and share the rest equally; a tab layout shows one child.
#pragma once

#include <memory>
#include <vector>

#include "uitoolkit/controls/Control.h"

namespace ui {

class Container : public Control {
 public:
  std::wstring_view Kind() const override { return L"Container"; }
  void Add(std::unique_ptr<Control> child);
  size_t Count() const { return m_children.size(); }
  Control* ChildAt(size_t index) const { return index < m_children.size() ? m_children[index].get() : nullptr; }

  void Attach(ControlHost* host, Control* parent) override;
  void ForEach(const std::function<void(Control&)>& visit) override;
  void SetPos(const Rect& rect) override;
  Control* FindAt(int x, int y) override;

 protected:
  // Lays out the children that are not floating inside `content`.
  virtual void LayoutChildren(const Rect& content);
  void PaintChildren(Painter& painter, const Rect& dirty) override;
  Rect FloatingRect(const Control& child, const Rect& content) const;
  // Non-floating children that take part in the layout.
  std::vector<Control*> Flowing() const;

  std::vector<std::unique_ptr<Control>> m_children;
};

class VerticalLayout : public Container {
 public:
  std::wstring_view Kind() const override { return L"VerticalLayout"; }

 protected:
  void LayoutChildren(const Rect& content) override;
};

class HorizontalLayout : public Container {
 public:
  std::wstring_view Kind() const override { return L"HorizontalLayout"; }

 protected:
  void LayoutChildren(const Rect& content) override;
};

class TabLayout : public Container {
 public:
  std::wstring_view Kind() const override { return L"TabLayout"; }
  bool SetAttribute(std::wstring_view name, std::wstring_view value) override;
  int GetCurSel() const { return m_selected; }
  // Shows the child at `index` (an index out of range changes nothing).
  bool SelectItem(int index);
  bool ShowsChild(const Control* child) const override;

 protected:
  void LayoutChildren(const Rect& content) override;

 private:
  int m_selected = 0;
};

}  // namespace ui
