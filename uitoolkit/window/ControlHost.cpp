#include "uitoolkit/window/ControlHost.h"

#include <cairo.h>

#include "platform/timer.h"
#include "uitoolkit/controls/Edit.h"
#include "uitoolkit/paint/Painter.h"
#include "uitoolkit/skin/SkinArchive.h"

namespace ui {
namespace {

// Controls' timers live on the window's timers above the ids the window's own code uses.
constexpr platform::UINT_PTR kFirstControlTimer = 0x10000;
// Past this many separate rectangles one rectangle around them all is cheaper to track.
constexpr size_t kMaxInvalidRects = 8;

}  // namespace

ControlHost::ControlHost(HostDelegate* delegate, SkinArchive* skin)
    : m_delegate(delegate), m_skin(skin), m_nextTimerId(kFirstControlTimer), m_alive(std::make_shared<bool>(true)) {}

ControlHost::~ControlHost() {
  *m_alive = false;
  for (const auto& [nativeId, key] : m_timers)
    if (m_hwnd) platform::KillTimer(m_hwnd, nativeId);
}

bool ControlHost::Load(const std::wstring& fileName, std::string* error) {
  if (!m_skin) {
    *error = "no skin archive is open";
    return false;
  }
  std::unique_ptr<Control> root = LoadWindowSkin(*m_skin, fileName, &m_window, error);
  if (!root) return false;
  SetRoot(std::move(root));
  return true;
}

void ControlHost::SetRoot(std::unique_ptr<Control> root) {
  m_root = std::move(root);
  m_root->Attach(this, nullptr);
  m_layoutDirty = true;
}

Control* ControlHost::FindControl(std::wstring_view name) {
  if (!m_root || name.empty()) return nullptr;
  EnsureLayout();
  return m_root->FindByName(name);
}

void ControlHost::EnsureLayout() {
  if (!m_layoutDirty || !m_root) return;
  m_layoutDirty = false;
  m_root->SetPos(Rect{0, 0, m_window.size.cx, m_window.size.cy});
  // A control that is no longer shown cannot stay hot, pushed or in focus.
  if (m_hot && !m_hot->IsShown()) SetHot(nullptr);
  if (m_pushed && !m_pushed->IsShown()) m_pushed = nullptr;
  if (m_focus && !m_focus->IsShown()) SetFocus(nullptr);
  if (m_delegate) m_delegate->OnLayoutDone();
}

void ControlHost::Invalidate(const Rect& rect) {
  const Rect window{0, 0, m_window.size.cx, m_window.size.cy};
  const Rect r = rect.Intersect(window);
  if (r.IsEmpty()) return;
  bool merged = false;
  for (Rect& known : m_invalid) {
    if (!known.Intersect(r).IsEmpty() || known == r) {
      known = known.Union(r);
      merged = true;
      break;
    }
  }
  if (!merged) m_invalid.push_back(r);
  if (m_invalid.size() > kMaxInvalidRects) {
    Rect all;
    for (const Rect& known : m_invalid) all = all.Union(known);
    m_invalid.assign(1, all);
  }
  if (m_delegate) m_delegate->OnInvalidate(r);
}

std::vector<Rect> ControlHost::TakeInvalidated() {
  std::vector<Rect> taken;
  taken.swap(m_invalid);
  return taken;
}

void ControlHost::Paint(cairo_t* cr, const Rect& clip, int scale) {
  EnsureLayout();
  if (!m_root) return;
  Painter painter(cr, m_skin ? &m_skin->Images() : nullptr, &m_window.fonts, scale);
  m_root->Paint(painter, clip);
}

cairo_surface_t* ControlHost::Render(int scale) {
  EnsureLayout();
  const int w = std::max(1, m_window.size.cx), h = std::max(1, m_window.size.cy);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w * scale, h * scale);
  cairo_surface_set_device_scale(surface, scale, scale);
  cairo_t* cr = cairo_create(surface);
  Paint(cr, Rect{0, 0, w, h}, scale);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  return surface;
}

bool ControlHost::RenderToPng(const std::string& path, int scale) {
  cairo_surface_t* surface = Render(scale);
  const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok;
}

bool ControlHost::IsCaptionAt(int x, int y) {
  const Rect& c = m_window.caption;
  const int right = c.right > 0 ? m_window.size.cx - c.right : m_window.size.cx;
  const int bottom = c.bottom > 0 ? c.bottom : 0;
  const Rect caption{c.left, c.top, right, bottom};
  if (!caption.Contains(x, y)) return false;
  EnsureLayout();
  Control* hit = m_root ? m_root->FindAt(x, y) : nullptr;
  return !hit || !hit->IsInteractive();
}

void ControlHost::SetHot(Control* control) {
  if (m_hot == control) return;
  if (m_hot) m_hot->SetHot(false);
  m_hot = control;
  if (m_hot) m_hot->SetHot(true);
  if (m_delegate) m_delegate->OnHotChanged(m_hot);
}

void ControlHost::OnMouseMove(int x, int y) {
  EnsureLayout();
  Control* hit = m_root ? m_root->FindAt(x, y) : nullptr;
  if (hit && !hit->IsEnabled()) hit = nullptr;
  // While a button is held, only the pressed control can be hot.
  if (m_pushed && hit != m_pushed) hit = nullptr;
  SetHot(hit);
}

void ControlHost::OnMouseLeave() { SetHot(nullptr); }

void ControlHost::OnButtonDown(int x, int y) {
  EnsureLayout();
  Control* hit = m_root ? m_root->FindAt(x, y) : nullptr;
  if (!hit || !hit->IsEnabled()) return;
  SetHot(hit);
  if (hit->TakesFocus()) SetFocus(hit);
  m_pushed = hit;
  hit->SetPushed(true);
}

void ControlHost::OnButtonUp(int x, int y) {
  Control* pushed = m_pushed;
  m_pushed = nullptr;
  if (!pushed) return;
  pushed->SetPushed(false);
  EnsureLayout();
  const bool inside = pushed->IsShown() && pushed->IsEnabled() && pushed->GetPos().Contains(x, y);
  const std::shared_ptr<const bool> alive = m_alive;
  if (inside) pushed->OnClick();
  if (*alive) OnMouseMove(x, y);
}

bool ControlHost::OnKeyDown(unsigned key) {
  if (!m_focus || !m_focus->IsEnabled() || !m_focus->IsShown()) return false;
  return m_focus->OnKeyDown(key);
}

void ControlHost::OnChar(wchar_t c) {
  if (m_focus && m_focus->IsEnabled() && m_focus->IsShown()) m_focus->OnChar(c);
}

void ControlHost::SetFocus(Control* control) {
  if (m_focus == control) return;
  if (m_focus) m_focus->SetFocused(false);
  m_focus = control;
  if (m_focus) m_focus->SetFocused(true);
}

bool ControlHost::SetTimer(Control* control, unsigned id, uint32_t elapseMs) {
  if (!m_hwnd) return false;
  platform::UINT_PTR nativeId = 0;
  for (const auto& [known, key] : m_timers)
    if (key.control == control && key.id == id) nativeId = known;
  if (!nativeId) nativeId = m_nextTimerId++;
  if (!platform::SetTimer(m_hwnd, nativeId, elapseMs, nullptr)) return false;
  m_timers[nativeId] = TimerKey{control, id};
  return true;
}

void ControlHost::KillTimer(Control* control, unsigned id) {
  for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
    if (it->second.control == control && it->second.id == id) {
      if (m_hwnd) platform::KillTimer(m_hwnd, it->first);
      m_timers.erase(it);
      return;
    }
  }
}

bool ControlHost::OnTimer(platform::UINT_PTR nativeId) {
  auto it = m_timers.find(nativeId);
  if (it == m_timers.end()) return false;
  SendNotify(it->second.control, notify::kTimer, it->second.id, 0);
  return true;
}

void ControlHost::SendNotify(Control* sender, const std::wstring& type, platform::WPARAM wParam,
                             platform::LPARAM lParam) {
  if (m_delegate) m_delegate->OnNotify(Notification{type, sender, wParam, lParam});
}

void ControlHost::EditTextSetByCode(Edit* edit) {
  if (m_delegate) m_delegate->OnEditTextSetByCode(edit);
}

}  // namespace ui
