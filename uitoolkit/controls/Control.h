// The control base: a windowless rectangle of the window with its attributes, its state (hot,
// pushed, focused, selected), its painting and input hooks. Containers hold the children; every
// control reaches its window through the host set when the tree is attached.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "uitoolkit/skin/Geometry.h"
#include "uitoolkit/skin/ImageDescription.h"

namespace ui {

class ControlHost;
class Painter;

enum class HAlign { kLeft, kCenter, kRight };
enum class VAlign { kTop, kCenter, kBottom };

// An image attribute with its parsed form, parsed again only when the text changes.
class ImageAttribute {
 public:
  void Set(std::wstring_view text);
  const std::wstring& Text() const { return m_text; }
  const std::vector<ImageLayer>& Layers() const { return m_layers; }
  bool IsEmpty() const { return m_layers.empty(); }

 private:
  std::wstring m_text;
  std::vector<ImageLayer> m_layers;
};

class Control {
 public:
  Control();
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  virtual std::wstring_view Kind() const { return L"Control"; }

  // Applies one skin attribute; false for a name this control does not know (it is skipped).
  virtual bool SetAttribute(std::wstring_view name, std::wstring_view value);

  // --- tree
  Control* Parent() const { return m_parent; }
  ControlHost* Host() const { return m_host; }
  virtual void Attach(ControlHost* host, Control* parent);
  // Calls `visit` for this control and every descendant, in painting order.
  virtual void ForEach(const std::function<void(Control&)>& visit);
  Control* FindByName(std::wstring_view name);
  // Whether it would be painted: itself and every container above it shown.
  bool IsShown() const;
  // Whether a container shows this child of its own (a tab layout shows one page).
  virtual bool ShowsChild(const Control* child) const { return true; }

  // --- layout
  const std::wstring& Name() const { return m_name; }
  void SetName(std::wstring name) { m_name = std::move(name); }
  const Rect& GetPos() const { return m_rect; }  // window coordinates, after layout
  virtual void SetPos(const Rect& rect);         // called by the layout
  const Rect& FixedPos() const { return m_fixedPos; }
  bool IsFloat() const { return m_float; }
  int FixedWidth() const { return m_fixedWidth; }
  int FixedHeight() const { return m_fixedHeight; }
  const Rect& Padding() const { return m_padding; }
  const Rect& Inset() const { return m_inset; }

  // --- state and content
  bool IsVisible() const { return m_visible; }
  void SetVisible(bool visible);
  bool IsEnabled() const { return m_enabled; }
  void SetEnabled(bool enabled);
  bool IsMouseEnabled() const { return m_mouse; }
  const std::wstring& GetText() const { return m_text; }
  virtual void SetText(std::wstring_view text);
  const std::wstring& GetToolTip() const { return m_tooltip; }
  void SetToolTip(std::wstring_view text) { m_tooltip.assign(text); }
  const std::wstring& GetBkImage() const { return m_bkImage.Text(); }
  void SetBkImage(std::wstring_view text);
  Color GetTextColor() const { return m_textColor; }
  void SetTextColor(Color color);
  bool IsHot() const { return m_hot; }
  bool IsPushed() const { return m_pushed; }
  bool IsFocused() const { return m_focused; }

  // Repaints this control's rectangle (only that) on the next paint.
  void Invalidate();

  // A per-control timer: "timer" notifications with wParam = id every `elapseMs`.
  bool SetTimer(unsigned id, uint32_t elapseMs);
  void KillTimer(unsigned id);

  // --- painting
  void Paint(Painter& painter, const Rect& dirty);

  // --- input (window coordinates)
  // The topmost shown control under the point that takes the mouse, or null.
  virtual Control* FindAt(int x, int y);
  // Controls that act on clicks; the rest of the caption area drags the window.
  virtual bool IsInteractive() const { return false; }
  virtual bool TakesFocus() const { return false; }
  void SetHot(bool hot);
  void SetPushed(bool pushed);
  void SetFocused(bool focused);
  virtual void OnClick();  // released inside after a press inside
  virtual void OnChar(wchar_t c) {}
  virtual bool OnKeyDown(unsigned key) { return false; }

 protected:
  virtual void PaintBackground(Painter& painter);
  virtual void PaintStatusImage(Painter& painter) {}
  virtual void PaintText(Painter& painter) {}
  virtual void PaintChildren(Painter& painter, const Rect& dirty) {}
  virtual void OnStateChanged() { Invalidate(); }
  // Layout must run again (a size, visibility or page changed).
  void NeedParentLayout();

  ControlHost* m_host = nullptr;
  Control* m_parent = nullptr;
  std::wstring m_name;
  Rect m_rect;
  Rect m_fixedPos;
  bool m_float = false;
  int m_fixedWidth = 0;
  int m_fixedHeight = 0;
  Rect m_padding;
  Rect m_inset;
  Color m_bkColor = 0;
  ImageAttribute m_bkImage;
  std::wstring m_text;
  Color m_textColor = 0;
  Color m_disabledTextColor = 0;
  HAlign m_align = HAlign::kLeft;
  VAlign m_valign = VAlign::kCenter;
  int m_font = -1;  // -1: the window's default font
  std::wstring m_tooltip;
  bool m_visible = true;
  bool m_enabled = true;
  bool m_mouse = true;
  bool m_hot = false;
  bool m_pushed = false;
  bool m_focused = false;
};

}  // namespace ui
