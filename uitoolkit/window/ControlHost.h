// What a window does for its controls: it holds the control tree and its window description, lays
// the tree out, collects invalidated rectangles and paints only those, routes the mouse and the
// keyboard to the control under the pointer or in focus (hot, pushed, focus states), runs the
// controls' timers on the window's timers and hands notifications to the window's code.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/messages.h"
#include "uitoolkit/controls/Control.h"
#include "uitoolkit/skin/SkinLoader.h"
#include "uitoolkit/window/Notification.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace ui {

class Edit;
class SkinArchive;

// The window side of the host: where notifications, repaint requests and native-control
// updates go.
class HostDelegate {
 public:
  virtual ~HostDelegate() = default;
  virtual void OnNotify(const Notification& notification) = 0;
  virtual void OnInvalidate(const Rect& rect) {}
  virtual void OnLayoutDone() {}
  virtual void OnEditTextSetByCode(Edit* edit) {}
  virtual void OnHotChanged(Control* hot) {}
};

class ControlHost {
 public:
  ControlHost(HostDelegate* delegate, SkinArchive* skin);
  ~ControlHost();
  ControlHost(const ControlHost&) = delete;
  ControlHost& operator=(const ControlHost&) = delete;

  // Loads the window's XML from the skin; false (with the reason) when it cannot be built.
  bool Load(const std::wstring& fileName, std::string* error);
  // Takes a tree built elsewhere (tests).
  void SetRoot(std::unique_ptr<Control> root);
  void SetNativeWindow(platform::HWND hwnd) { m_hwnd = hwnd; }

  WindowDesc& Window() { return m_window; }
  Control* Root() const { return m_root.get(); }
  Control* FindControl(std::wstring_view name);
  SkinArchive* Skin() const { return m_skin; }

  // --- layout and painting
  void NeedLayout() { m_layoutDirty = true; }
  void EnsureLayout();
  void Invalidate(const Rect& rect);
  // Rectangles invalidated since the last call, and forgets them (the tests' view of repaints).
  std::vector<Rect> TakeInvalidated();
  void Paint(cairo_t* cr, const Rect& clip, int scale);
  // The whole window painted into a new image (caller owns it), `scale` device pixels per pixel.
  cairo_surface_t* Render(int scale);
  bool RenderToPng(const std::string& path, int scale);
  // Whether the point is in the caption area and on nothing that takes clicks.
  bool IsCaptionAt(int x, int y);

  // --- input, in window coordinates
  void OnMouseMove(int x, int y);
  void OnMouseLeave();
  void OnButtonDown(int x, int y);
  void OnButtonUp(int x, int y);
  // True when the control in focus used the key.
  bool OnKeyDown(unsigned key);
  void OnChar(wchar_t c);
  Control* Focus() const { return m_focus; }
  void SetFocus(Control* control);
  Control* Hot() const { return m_hot; }

  // --- controls' timers and notifications
  bool SetTimer(Control* control, unsigned id, uint32_t elapseMs);
  void KillTimer(Control* control, unsigned id);
  // The window's WM_TIMER: true when the id was a control's timer (and "timer" was sent).
  bool OnTimer(platform::UINT_PTR nativeId);
  void SendNotify(Control* sender, const std::wstring& type, platform::WPARAM wParam = 0,
                  platform::LPARAM lParam = 0);
  void EditTextSetByCode(Edit* edit);
  // True while the host lives: a control that notifies checks it before touching itself again,
  // since the window's code may have destroyed the window meanwhile.
  std::shared_ptr<const bool> AliveFlag() const { return m_alive; }

 private:
  void SetHot(Control* control);

  HostDelegate* m_delegate;
  SkinArchive* m_skin;
  platform::HWND m_hwnd = nullptr;
  WindowDesc m_window;
  std::unique_ptr<Control> m_root;
  bool m_layoutDirty = true;
  std::vector<Rect> m_invalid;
  Control* m_hot = nullptr;
  Control* m_pushed = nullptr;
  Control* m_focus = nullptr;
  struct TimerKey {
    Control* control;
    unsigned id;
  };
  std::map<platform::UINT_PTR, TimerKey> m_timers;
  platform::UINT_PTR m_nextTimerId;
  // Cleared when the host goes, so that input routing notices a notification that destroyed it.
  std::shared_ptr<bool> m_alive;
};

}  // namespace ui
