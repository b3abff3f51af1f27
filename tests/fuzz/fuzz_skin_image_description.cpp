// Feeds arbitrary text (UTF-8) to the image-description parser and draws what it accepts with a
// small image that every name finds: coordinates stay in the 16-bit range, and no description,
// however odd its rectangles, makes the nine-slice painting misbehave.
#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/text.h"
#include "uitoolkit/controls/Control.h"
#include "uitoolkit/paint/Painter.h"
#include "uitoolkit/skin/Attributes.h"
#include "uitoolkit/skin/ImageDescription.h"
#include "uitoolkit/skin/SkinArchive.h"

namespace {

// Every name is the same 8 × 6 image.
class OneImageSkin : public ui::SkinArchive {
 public:
  OneImageSkin() {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 6);
    cairo_surface_write_to_png_stream(
        s,
        [](void* closure, const unsigned char* data, unsigned int length) {
          static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
          return CAIRO_STATUS_SUCCESS;
        },
        &m_png);
    cairo_surface_destroy(s);
  }
  bool Read(const std::wstring&, std::string* bytes) override {
    *bytes = m_png;
    return true;
  }

 private:
  std::string m_png;
};

bool InRange(const ui::Rect& r) {
  for (int v : {r.left, r.top, r.right, r.bottom})
    if (v < -ui::kMaxCoordinate || v > ui::kMaxCoordinate) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static OneImageSkin skin;
  static cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 32, 32);
  const std::wstring text = platform::Utf8ToWide(std::string(reinterpret_cast<const char*>(data), size));
  ui::ImageAttribute attribute;
  attribute.Set(text);
  for (const ui::ImageLayer& layer : attribute.Layers()) {
    if (layer.file.empty()) __builtin_trap();
    if (!InRange(layer.source) || !InRange(layer.dest) || !InRange(layer.corner)) __builtin_trap();
  }
  cairo_t* cr = cairo_create(target);
  ui::Painter painter(cr, &skin.Images(), nullptr, 1);
  painter.DrawImage(attribute, ui::Rect{2, 2, 30, 30});
  cairo_destroy(cr);
  return 0;
}
