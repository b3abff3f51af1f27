// Painting of one frame into a cairo context whose user space is window pixels: colours, image
// descriptions (nine-slice, source parts, fading, tiling) and text with pango.
#pragma once

#include <string>

#include "uitoolkit/controls/Control.h"
#include "uitoolkit/skin/Geometry.h"

typedef struct _cairo cairo_t;
typedef struct _PangoLayout PangoLayout;

namespace ui {

class FontSet;
class ImageCache;

// The shaped text of one control, kept between frames: a control repainted for a neighbour's
// sake (the progress bar's labels, fifty times a second) does not shape its text again.
class TextLayoutCache {
 public:
  TextLayoutCache() = default;
  ~TextLayoutCache();
  TextLayoutCache(const TextLayoutCache&) = delete;
  TextLayoutCache& operator=(const TextLayoutCache&) = delete;

 private:
  friend class Painter;
  void Reset();
  void* m_layout = nullptr;  // PangoLayout
  std::wstring m_text;
  int m_width = -1;
  int m_font = 0;
  const void* m_fonts = nullptr;
  HAlign m_align = HAlign::kLeft;
};

class Painter {
 public:
  // `scale`: device pixels per window pixel (2 picks the skin's @2x images where it has them).
  Painter(cairo_t* cr, ImageCache* images, const FontSet* fonts, int scale);

  // Clips further painting to `clip` until the matching Restore.
  void Save(const Rect& clip);
  void Restore();

  void FillRect(const Rect& rect, Color color);
  // Draws each layer in order inside `control`; a layer whose image is missing is skipped.
  void DrawImage(const ImageAttribute& image, const Rect& control);
  void DrawLayer(const ImageLayer& layer, const Rect& control);
  // Wrapped text taller than `rect` sets its lines closer and is centred on `overflow` (the whole
  // control, insets and all) when one is given.
  void DrawText(const std::wstring& text, const Rect& rect, int font, Color color, HAlign align, VAlign valign,
                TextLayoutCache* cache = nullptr, const Rect* overflow = nullptr);

 private:
  PangoLayout* CreateLayout(const std::wstring& text, int width, int font, HAlign align);

  cairo_t* m_cr;
  ImageCache* m_images;
  const FontSet* m_fonts;
  int m_scale;
};

}  // namespace ui
