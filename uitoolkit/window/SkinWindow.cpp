#include "uitoolkit/window/SkinWindow.h"

#include <utility>

#include "commonlib/logger/Log.h"
#include "platform/text.h"
#include "platform/errors.h"
#include "platform/message_loop.h"
#include "platform/window.h"
#include "uitoolkit/backend/Display.h"
#include "uitoolkit/controls/Edit.h"
#include "uitoolkit/window/SkinResource.h"

namespace ui {

using platform::HWND;
using platform::LPARAM;
using platform::LRESULT;
using platform::UINT;
using platform::WPARAM;

SkinWindow::SkinWindow() = default;

SkinWindow::~SkinWindow() {
  // A window object deleted while its native window lives: the window goes first, so that no
  // message reaches a dead object.
  if (m_hwnd && platform::IsWindow(m_hwnd)) {
    platform::SetWindowLongPtr(m_hwnd, platform::GWLP_USERDATA, 0);
    platform::DestroyWindow(m_hwnd);
  }
}

HWND SkinWindow::Create(HWND owner, const std::wstring& title, uint32_t style, uint32_t exStyle) {
  const std::wstring className = GetWindowClassName();
  platform::RegisterClass({&SkinWindow::CALLBACK_WindowProc, className.c_str()});
  m_owner = owner;
  m_title = title;
  HWND hwnd = platform::CreateWindow(className.c_str(), title.c_str(), style, exStyle, owner, this);
  if (!hwnd) m_hwnd = nullptr;
  return hwnd;
}

SkinWindow* SkinWindow::FromHandle(HWND hwnd) {
  if (platform::GetWindowLongPtr(hwnd, platform::GWLP_WNDPROC) !=
      reinterpret_cast<platform::LONG_PTR>(&SkinWindow::CALLBACK_WindowProc))
    return nullptr;
  return reinterpret_cast<SkinWindow*>(platform::GetWindowLongPtr(hwnd, platform::GWLP_USERDATA));
}

LRESULT SkinWindow::CALLBACK_WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  SkinWindow* self = nullptr;
  if (message == platform::WM_NCCREATE) {
    auto* create = reinterpret_cast<platform::CREATESTRUCT*>(lParam);
    self = static_cast<SkinWindow*>(create->lpCreateParams);
    self->m_hwnd = hwnd;
    platform::SetWindowLongPtr(hwnd, platform::GWLP_USERDATA, reinterpret_cast<platform::LONG_PTR>(self));
  } else {
    self = reinterpret_cast<SkinWindow*>(platform::GetWindowLongPtr(hwnd, platform::GWLP_USERDATA));
  }
  if (!self) return platform::DefWindowProc(hwnd, message, wParam, lParam);
  return self->WindowProc(message, wParam, lParam);
}

LRESULT SkinWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == platform::WM_NCCREATE) return 1;
  if (message == platform::WM_CREATE) {
    m_created = OnCreate();
    return m_created ? 0 : -1;
  }
  if (message == platform::WM_NCDESTROY) {
    HWND hwnd = m_hwnd;
    m_surface.reset();
    m_host.reset();
    m_hwnd = nullptr;
    // A window whose creation failed stays its creator's to delete: Create returned null.
    if (std::exchange(m_created, false)) OnFinalMessage(hwnd);  // may delete this
    return 0;
  }
  if (m_host) {
    bool handled = false;
    const LRESULT result = HandleMessage(message, wParam, lParam, handled);
    if (handled) return result;
  }
  return ToolkitHandling(message, wParam, lParam);
}

bool SkinWindow::OnCreate() {
  m_host = std::make_unique<ControlHost>(this, CurrentSkinArchive());
  m_host->SetNativeWindow(m_hwnd);
  std::string error;
  if (!m_host->Load(GetSkinFile(), &error)) {
    LOGE(L"SkinWindow::Create() 皮肤加载失败 class:%s skin:%s: %s", GetWindowClassName().c_str(), GetSkinFile().c_str(),
         platform::Utf8ToWide(error).c_str());
    m_host.reset();
    return false;
  }
  m_host->EnsureLayout();
  InitWindow();
  return true;
}

LRESULT SkinWindow::HandleMessage(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT SkinWindow::ToolkitHandling(UINT message, WPARAM wParam, LPARAM lParam) {
  const bool enabled = platform::IsWindowEnabled(m_hwnd);
  switch (message) {
    case platform::WM_TIMER:
      if (m_host && m_host->OnTimer(wParam)) return 0;
      break;
    case WM_MOUSEMOVE:
      if (enabled && m_host) m_host->OnMouseMove(PointX(lParam), PointY(lParam));
      return 0;
    case WM_MOUSELEAVE:
      if (m_host) m_host->OnMouseLeave();
      return 0;
    case WM_LBUTTONDOWN:
      if (enabled && m_host) m_host->OnButtonDown(PointX(lParam), PointY(lParam));
      return 0;
    case WM_LBUTTONUP:
      if (enabled && m_host) m_host->OnButtonUp(PointX(lParam), PointY(lParam));
      return 0;
    case WM_KEYDOWN:
      if (enabled && m_host && !m_host->OnKeyDown(static_cast<unsigned>(wParam))) OnDefaultKey(static_cast<unsigned>(wParam));
      return 0;
    case WM_CHAR:
      if (enabled && m_host) m_host->OnChar(static_cast<wchar_t>(wParam));
      return 0;
    case WM_SYSCOMMAND:
      return OnSysCommand(wParam, lParam);
    case platform::WM_CLOSE:
      if (m_modalResult) *m_modalResult = static_cast<UINT>(wParam);
      EnableOwner();
      platform::DestroyWindow(m_hwnd);
      return 0;
    case platform::WM_DESTROY:
      EnableOwner();
      m_shown = false;
      m_surface.reset();
      return 0;
    default:
      break;
  }
  return platform::DefWindowProc(m_hwnd, message, wParam, lParam);
}

void SkinWindow::Notify(const Notification& n) {
  if (n.type != notify::kClick || !n.sender) return;
  const std::wstring& name = n.sender->Name();
  if (name == L"btn_min") platform::SendMessage(m_hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  else if (name == L"btn_max") platform::SendMessage(m_hwnd, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  else if (name == L"btn_restore") platform::SendMessage(m_hwnd, WM_SYSCOMMAND, SC_RESTORE, 0);
  else if (name == L"btn_close") Close(1);
}

LRESULT SkinWindow::OnSysCommand(WPARAM command, LPARAM) {
  switch (command & 0xFFF0) {
    case SC_MINIMIZE:
      if (m_surface) m_surface->Minimize();
      break;
    case SC_MAXIMIZE:
      if (m_surface) m_surface->Maximize();
      break;
    case SC_RESTORE:
      if (m_surface) m_surface->Restore();
      break;
    case SC_CLOSE:
      platform::PostMessage(m_hwnd, platform::WM_CLOSE, 0, 0);
      break;
    default:
      break;
  }
  return 0;
}

bool SkinWindow::OnDefaultKey(unsigned key) {
  if (key != VK_ESCAPE) return false;
  Close(1);
  return true;
}

void SkinWindow::CenterWindow() {
  if (!m_host) return;
  m_centred = true;
  const Size size = m_host->Window().size;
  const Rect work = WorkArea();
  Rect around = work;
  if (SkinWindow* owner = m_owner ? FromHandle(m_owner) : nullptr; owner && owner->m_host) {
    const Size o = owner->m_host->Window().size;
    around = Rect{owner->m_x, owner->m_y, owner->m_x + o.cx, owner->m_y + o.cy};
  }
  int x = around.left + (around.Width() - size.cx) / 2;
  int y = around.top + (around.Height() - size.cy) / 2;
  x = std::max(work.left, std::min(x, work.right - size.cx));
  y = std::max(work.top, std::min(y, work.bottom - size.cy));
  m_x = x;
  m_y = y;
  if (m_surface) m_surface->Move(m_x, m_y);
}

void SkinWindow::ShowWindow(bool show, bool activate) {
  if (!m_hwnd || !m_host) return;
  if (!show) {
    if (m_surface) m_surface->Hide();
    m_shown = false;
    return;
  }
  if (!m_surface && DisplayAvailable()) {
    m_surface = CreateSurface(this, m_host->Window(), m_host->Skin(), m_title);
    if (m_surface) {
      // Centred before the display was open: again, now that the real work area is known.
      if (m_centred) CenterWindow();
      m_surface->Move(m_x, m_y);
      OnLayoutDone();
    }
  }
  if (m_surface) m_surface->Show(activate);
  m_shown = true;
}

UINT SkinWindow::ShowModal() {
  HWND hwnd = m_hwnd;
  if (!hwnd || !m_host) return 0;
  ShowWindow(true, true);
  if (!m_surface && GetDisplayMode() == DisplayMode::kAuto) {
    LOGW(L"SkinWindow::ShowModal() 没有可用的显示，窗口直接关闭 class:%s", GetWindowClassName().c_str());
    Close(0);
  }
  HWND owner = m_owner;
  if (owner && platform::IsWindow(owner) && platform::IsWindowEnabled(owner)) {
    platform::EnableWindow(owner, false);
    m_ownerDisabled = true;
  }
  SkinWindow* ownerWindow = owner ? FromHandle(owner) : nullptr;
  if (m_surface) m_surface->SetModal(ownerWindow ? ownerWindow->m_surface.get() : nullptr, true);
  UINT result = 0;
  m_modalResult = &result;
  platform::RunNestedMessageLoop([hwnd] { return !platform::IsWindow(hwnd); });
  // Ended by WM_QUIT the window still stands: it must not write into this frame later.
  if (platform::IsWindow(hwnd)) {
    m_modalResult = nullptr;
    EnableOwner();
  }
  return result;
}

void SkinWindow::EnableOwner() {
  if (!m_ownerDisabled) return;
  m_ownerDisabled = false;
  if (!platform::IsWindow(m_owner)) return;
  platform::EnableWindow(m_owner, true);
  if (SkinWindow* owner = FromHandle(m_owner); owner && owner->m_surface) owner->m_surface->Focus();
}

void SkinWindow::Close(UINT result) {
  if (m_hwnd) platform::PostMessage(m_hwnd, platform::WM_CLOSE, result, 0);
}

void SkinWindow::SendNotify(Control* sender, const std::wstring& type, WPARAM wParam, LPARAM lParam) {
  if (m_host) m_host->SendNotify(sender, type, wParam, lParam);
}

void SkinWindow::OnInvalidate(const Rect& rect) {
  if (m_surface) m_surface->Invalidate(rect);
}

void SkinWindow::OnLayoutDone() {
  if (!m_surface || !m_host || !m_host->Root()) return;
  std::vector<Edit*> edits;
  m_host->Root()->ForEach([&edits](Control& c) {
    if (auto* edit = dynamic_cast<Edit*>(&c)) edits.push_back(edit);
  });
  m_surface->SyncEdits(edits);
}

void SkinWindow::OnEditTextSetByCode(Edit* edit) {
  if (m_surface) m_surface->SetEditText(edit);
}

void SkinWindow::OnHotChanged(Control* hot) {
  if (m_surface) m_surface->SetToolTip(hot ? hot->GetToolTip() : std::wstring());
}

void SkinWindow::PaintSurface(cairo_t* cr, const Rect& clip, int scale) {
  if (m_host) m_host->Paint(cr, clip, scale);
}

void SkinWindow::SurfaceInput(UINT message, WPARAM wParam, LPARAM lParam) {
  // Input comes through the queue, as the loops expect: a nested loop looks at its end condition
  // after each message it takes.
  if (m_hwnd) platform::PostMessage(m_hwnd, message, wParam, lParam);
}

void SkinWindow::SurfaceEditChanged(Edit* edit, const std::wstring& text) {
  if (m_host) edit->SetTextFromUser(text);
}

void SkinWindow::SurfaceMoved(int x, int y) {
  m_x = x;
  m_y = y;
}

}  // namespace ui
