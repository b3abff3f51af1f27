// Feeds arbitrary bytes to the skin loader the way a window does: as a zip archive (first byte
// odd) whose "Probe.xml" is loaded, or as the XML itself (first byte even). Whatever loads is laid
// out, hit-tested, routed a click and painted, at a size small enough to paint quickly.
#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "uitoolkit/skin/SkinArchive.h"
#include "uitoolkit/skin/SkinLoader.h"
#include "uitoolkit/window/ControlHost.h"

namespace {

class NullDelegate : public ui::HostDelegate {
 public:
  void OnNotify(const ui::Notification&) override {}
};

void Exercise(ui::SkinArchive* skin, const std::string& xml) {
  NullDelegate delegate;
  ui::ControlHost host(&delegate, skin);
  std::string error;
  std::unique_ptr<ui::Control> root = ui::ParseWindowSkin(xml, &host.Window(), &error);
  if (!root) {
    if (error.empty()) __builtin_trap();  // a failure always says why
    return;
  }
  const ui::Size size = host.Window().size;
  if (size.cx < 0 || size.cy < 0 || size.cx > 8192 || size.cy > 8192) __builtin_trap();
  host.SetRoot(std::move(root));
  host.EnsureLayout();
  for (int p = 0; p < 64; p += 7) {
    host.OnMouseMove(p, p);
    host.OnButtonDown(p, p);
    host.OnButtonUp(p, p);
    host.IsCaptionAt(p, p);
  }
  if (size.cx <= 128 && size.cy <= 128) cairo_surface_destroy(host.Render(1));
}

}  // namespace

// Fontconfig and pango keep what they look up for a new font in caches of their own, which the
// leak checker takes for leaks of the input that first asked for that font.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libpango-1.0.so\nleak:libpangoft2-1.0.so\nleak:libpangocairo-1.0.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    std::string error;
    auto skin = ui::SkinArchive::FromZipBytes(bytes, &error);
    if (!skin) return 0;
    std::string xml;
    if (skin->Read(L"Probe.xml", &xml)) Exercise(skin.get(), xml);
  } else {
    Exercise(nullptr, bytes);
  }
  return 0;
}
