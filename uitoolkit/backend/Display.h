// The display back end: whether windows get native surfaces, and the few desktop services the
// windows use (work area, folder chooser, URI handler).
#pragma once

#include <memory>
#include <string>

#include "uitoolkit/backend/Surface.h"
#include "uitoolkit/skin/Geometry.h"

namespace ui {

enum class DisplayMode {
  kAuto,      // a surface where a display can be opened; without one a modal run ends at once
  kHeadless,  // never a surface; windows run on their messages alone (tests, picture rendering)
};

void SetDisplayMode(DisplayMode mode);
DisplayMode GetDisplayMode();

// Opens the display the first time it is asked (kAuto only); false when there is none.
bool DisplayAvailable();

// A native surface for a window of the given description, titled `title`; null without display.
std::unique_ptr<Surface> CreateSurface(SurfaceClient* client, const WindowDesc& window, SkinArchive* skin,
                                       const std::wstring& title);

// The work area of the primary monitor; 1920 × 1080 while no display is open.
Rect WorkArea();

// The folder chooser; the chosen folder as a drive path, empty when cancelled.
std::wstring BrowseForFolder(Surface* owner, const std::wstring& title, const std::wstring& initialPath);

// Opens a URL with the desktop's URI handler.
bool OpenUrl(const std::wstring& url);

}  // namespace ui
