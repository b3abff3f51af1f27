// The native surface of a shown window, as the display back end gives it, and what the surface
// asks of its window. A window without a surface (headless, or hidden) works all the same.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/messages.h"
#include "uitoolkit/skin/Geometry.h"

typedef struct _cairo cairo_t;

namespace ui {

class Edit;
class SkinArchive;
struct WindowDesc;

class SurfaceClient {
 public:
  virtual ~SurfaceClient() = default;
  // Paints the window's `clip` (window coordinates); `scale` is the display's scale.
  virtual void PaintSurface(cairo_t* cr, const Rect& clip, int scale) = 0;
  // Native input, as the window's messages (mouse positions in window coordinates).
  virtual void SurfaceInput(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam) = 0;
  virtual bool IsCaptionAt(int x, int y) = 0;
  // The user changed the text of an edit in its native entry.
  virtual void SurfaceEditChanged(Edit* edit, const std::wstring& text) = 0;
  // The window now stands at this screen position (its content's top-left corner).
  virtual void SurfaceMoved(int x, int y) = 0;
};

class Surface {
 public:
  virtual ~Surface() = default;
  virtual void Show(bool activate) = 0;
  virtual void Hide() = 0;
  virtual void Move(int x, int y) = 0;
  virtual void Invalidate(const Rect& rect) = 0;
  virtual void SetModal(Surface* owner, bool modal) = 0;
  virtual void Minimize() = 0;
  virtual void Maximize() = 0;
  virtual void Restore() = 0;
  virtual void Focus() = 0;
  // After each layout: the edits of the window, to place (or hide) their native entries.
  virtual void SyncEdits(const std::vector<Edit*>& edits) = 0;
  virtual void SetEditText(Edit* edit) = 0;
  virtual void SetToolTip(const std::wstring& text) = 0;
};

}  // namespace ui
