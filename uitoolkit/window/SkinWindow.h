// The skinned-window base: a platform window whose content is a control tree loaded from the
// skin. A window derives from it, names its class and skin file, and overrides the hooks it needs:
// InitWindow (after the tree is built), HandleMessage (every message, before the toolkit's own
// handling), Notify (the controls' notifications), OnSysCommand, OnDefaultKey and OnFinalMessage
// (after the native window is gone; a window that ends itself may delete itself there).
#pragma once

#include <memory>
#include <string>

#include "platform/messages.h"
#include "uitoolkit/backend/Surface.h"
#include "uitoolkit/window/ControlHost.h"
#include "uitoolkit/window/Messages.h"

namespace ui {

class SkinWindow : public HostDelegate, public SurfaceClient {
 public:
  SkinWindow();
  ~SkinWindow() override;
  SkinWindow(const SkinWindow&) = delete;
  SkinWindow& operator=(const SkinWindow&) = delete;

  virtual std::wstring GetWindowClassName() const = 0;
  virtual std::wstring GetSkinFile() = 0;

  // Creates the native window and builds its controls; null (logged) when the skin cannot be
  // loaded. The size comes from the skin.
  platform::HWND Create(platform::HWND owner, const std::wstring& title, uint32_t style, uint32_t exStyle = 0);
  platform::HWND GetHWND() const { return m_hwnd; }
  platform::HWND GetOwner() const { return m_owner; }
  // Over the owner when it has one, else on the work area; kept inside the work area.
  void CenterWindow();
  void ShowWindow(bool show = true, bool activate = true);
  bool IsShown() const { return m_shown; }
  // Shows the window, disables its owner and runs the thread's messages until the window is gone;
  // returns the result it was closed with. On a display-less run that cannot show it (kAuto mode
  // without a display) it closes at once with 0.
  platform::UINT ShowModal();
  // Closes the window with `result` (through WM_CLOSE, posted).
  void Close(platform::UINT result = 1);

  ControlHost& Host() { return *m_host; }
  Control* FindControl(std::wstring_view name) { return m_host->FindControl(name); }
  template <typename T>
  T* Find(std::wstring_view name) {
    return dynamic_cast<T*>(FindControl(name));
  }
  // A notification of the caller's own, delivered like the controls' ones.
  void SendNotify(Control* sender, const std::wstring& type, platform::WPARAM wParam = 0, platform::LPARAM lParam = 0);
  // Screen position of the content's top-left corner.
  int X() const { return m_x; }
  int Y() const { return m_y; }
  Surface* NativeSurface() const { return m_surface.get(); }
  static SkinWindow* FromHandle(platform::HWND hwnd);

 protected:
  virtual void InitWindow() {}
  virtual platform::LRESULT HandleMessage(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam,
                                          bool& handled);
  // The default handling: btn_min, btn_max and btn_restore to the system commands, btn_close
  // closes with 1.
  virtual void Notify(const Notification& notification);
  // Minimise, maximise, restore and close, done on the window.
  virtual platform::LRESULT OnSysCommand(platform::WPARAM command, platform::LPARAM lParam);
  // Keys nothing in focus used. Escape closes with 1; true means handled.
  virtual bool OnDefaultKey(unsigned key);
  // Only for a window whose creation succeeded.
  virtual void OnFinalMessage(platform::HWND hwnd) {}

  // HostDelegate
  void OnNotify(const Notification& notification) override { Notify(notification); }
  void OnInvalidate(const Rect& rect) override;
  void OnLayoutDone() override;
  void OnEditTextSetByCode(Edit* edit) override;
  void OnHotChanged(Control* hot) override;
  // SurfaceClient
  void PaintSurface(cairo_t* cr, const Rect& clip, int scale) override;
  void SurfaceInput(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam) override;
  bool IsCaptionAt(int x, int y) override { return m_host->IsCaptionAt(x, y); }
  void SurfaceEditChanged(Edit* edit, const std::wstring& text) override;
  void SurfaceMoved(int x, int y) override;

 private:
  static platform::LRESULT CALLBACK_WindowProc(platform::HWND hwnd, platform::UINT message, platform::WPARAM wParam,
                                               platform::LPARAM lParam);
  platform::LRESULT WindowProc(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam);
  platform::LRESULT ToolkitHandling(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam);
  bool OnCreate();
  void EnableOwner();

  platform::HWND m_hwnd = nullptr;
  platform::HWND m_owner = nullptr;
  std::wstring m_title;
  std::unique_ptr<ControlHost> m_host;
  std::unique_ptr<Surface> m_surface;
  bool m_created = false;  // WM_CREATE succeeded: the final message is due
  bool m_shown = false;
  bool m_centred = false;
  bool m_ownerDisabled = false;
  platform::UINT* m_modalResult = nullptr;
  int m_x = 0;
  int m_y = 0;
};

}  // namespace ui
