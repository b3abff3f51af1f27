#include "uitoolkit/paint/Painter.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include "platform/text.h"
#include "uitoolkit/paint/Fonts.h"
#include "uitoolkit/skin/ImageCache.h"

namespace ui {
namespace {

// Baseline distance of compact wrapped lines, as a share of a line's natural height.
constexpr float kCompactLineSpacing = 0.82f;

void SetColor(cairo_t* cr, Color color) {
  cairo_set_source_rgba(cr, ((color >> 16) & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0, (color & 0xFF) / 255.0,
                        ((color >> 24) & 0xFF) / 255.0);
}

// Draws the `src` part of the image stretched (or tiled) over `dst`.
void DrawPiece(cairo_t* cr, cairo_surface_t* image, const Rect& src, const Rect& dst, double alpha, bool xtiled,
               bool ytiled) {
  if (src.IsEmpty() || dst.IsEmpty()) return;
  cairo_save(cr);
  cairo_rectangle(cr, dst.left, dst.top, dst.Width(), dst.Height());
  cairo_clip(cr);
  const double sx = xtiled ? 1.0 : static_cast<double>(dst.Width()) / src.Width();
  const double sy = ytiled ? 1.0 : static_cast<double>(dst.Height()) / src.Height();
  cairo_pattern_t* pattern;
  if (xtiled || ytiled) {
    // Tiling repeats the part: cut it out first so that the repeat is of the part only.
    cairo_surface_t* part = cairo_surface_create_similar(image, CAIRO_CONTENT_COLOR_ALPHA, src.Width(), src.Height());
    double dx, dy;
    cairo_surface_get_device_scale(image, &dx, &dy);
    cairo_surface_set_device_scale(part, dx, dy);
    cairo_t* pc = cairo_create(part);
    cairo_set_source_surface(pc, image, -src.left, -src.top);
    cairo_paint(pc);
    cairo_destroy(pc);
    pattern = cairo_pattern_create_for_surface(part);
    cairo_surface_destroy(part);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
    cairo_matrix_t m;
    cairo_matrix_init_scale(&m, 1 / sx, 1 / sy);
    cairo_matrix_translate(&m, -dst.left, -dst.top);
    cairo_pattern_set_matrix(pattern, &m);
  } else {
    pattern = cairo_pattern_create_for_surface(image);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_matrix_t m;
    // user (dst) -> pattern (src): x_src = (x - dst.left) / sx + src.left
    cairo_matrix_init_translate(&m, src.left, src.top);
    cairo_matrix_scale(&m, 1 / sx, 1 / sy);
    cairo_matrix_translate(&m, -dst.left, -dst.top);
    cairo_pattern_set_matrix(pattern, &m);
  }
  // Unscaled parts are copied; stretched ones are filtered bilinearly. Cairo's default would
  // convolve on every shrink, which costs the progress bar most of its frame.
  cairo_pattern_set_filter(pattern, sx == 1.0 && sy == 1.0 ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_BILINEAR);
  cairo_set_source(cr, pattern);
  if (alpha >= 1.0) cairo_paint(cr);
  else cairo_paint_with_alpha(cr, alpha);
  cairo_pattern_destroy(pattern);
  cairo_restore(cr);
}

}  // namespace

Painter::Painter(cairo_t* cr, ImageCache* images, const FontSet* fonts, int scale)
    : m_cr(cr), m_images(images), m_fonts(fonts), m_scale(scale) {}

void Painter::Save(const Rect& clip) {
  cairo_save(m_cr);
  cairo_rectangle(m_cr, clip.left, clip.top, clip.Width(), clip.Height());
  cairo_clip(m_cr);
}

void Painter::Restore() { cairo_restore(m_cr); }

void Painter::FillRect(const Rect& rect, Color color) {
  SetColor(m_cr, color);
  cairo_rectangle(m_cr, rect.left, rect.top, rect.Width(), rect.Height());
  cairo_fill(m_cr);
}

void Painter::DrawImage(const ImageAttribute& image, const Rect& control) {
  for (const ImageLayer& layer : image.Layers()) DrawLayer(layer, control);
}

void Painter::DrawLayer(const ImageLayer& layer, const Rect& control) {
  if (!m_images || layer.fade == 0) return;
  cairo_surface_t* image = m_images->Get(layer.file, m_scale);
  if (!image) return;
  double dsx, dsy;
  cairo_surface_get_device_scale(image, &dsx, &dsy);
  const Rect whole{0, 0, static_cast<int>(cairo_image_surface_get_width(image) / dsx),
                   static_cast<int>(cairo_image_surface_get_height(image) / dsy)};
  const Rect src = layer.hasSource ? layer.source.Intersect(whole) : whole;
  const Rect dst = layer.hasDest ? layer.dest.Offset(control.left, control.top) : control;
  if (src.IsEmpty() || dst.IsEmpty()) return;
  const double alpha = layer.fade / 255.0;
  const Rect& c = layer.corner;
  if (c == Rect{}) {
    DrawPiece(m_cr, image, src, dst, alpha, layer.xtiled, layer.ytiled);
    return;
  }
  // Nine slices: column and row edges in the source and in the destination.
  const int sx[4] = {src.left, src.left + c.left, src.right - c.right, src.right};
  const int sy[4] = {src.top, src.top + c.top, src.bottom - c.bottom, src.bottom};
  const int dx[4] = {dst.left, dst.left + c.left, dst.right - c.right, dst.right};
  const int dy[4] = {dst.top, dst.top + c.top, dst.bottom - c.bottom, dst.bottom};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      const bool middle = row == 1 && col == 1;
      if (middle && layer.hole) continue;
      DrawPiece(m_cr, image, Rect{sx[col], sy[row], sx[col + 1], sy[row + 1]},
                Rect{dx[col], dy[row], dx[col + 1], dy[row + 1]}, alpha, middle && layer.xtiled,
                middle && layer.ytiled);
    }
  }
}

TextLayoutCache::~TextLayoutCache() { Reset(); }

void TextLayoutCache::Reset() {
  if (m_layout) g_object_unref(m_layout);
  m_layout = nullptr;
}

void Painter::DrawText(const std::wstring& text, const Rect& rect, int font, Color color, HAlign align,
                       VAlign valign, TextLayoutCache* cache, const Rect* overflow) {
  if (text.empty() || rect.Width() <= 0) return;
  PangoLayout* layout = nullptr;
  if (cache && cache->m_layout && cache->m_text == text && cache->m_width == rect.Width() && cache->m_font == font &&
      cache->m_fonts == m_fonts && cache->m_align == align) {
    layout = static_cast<PangoLayout*>(cache->m_layout);
    g_object_ref(layout);
    pango_cairo_update_layout(m_cr, layout);
  } else {
    layout = CreateLayout(text, rect.Width(), font, align);
    if (cache) {
      cache->Reset();
      cache->m_layout = g_object_ref(layout);
      cache->m_text = text;
      cache->m_width = rect.Width();
      cache->m_font = font;
      cache->m_fonts = m_fonts;
      cache->m_align = align;
    }
  }
  int width = 0, height = 0;
  pango_layout_get_pixel_size(layout, &width, &height);
  // The skins' rows are cut for 12-pixel faces whose lines stand 14 pixels apart; the CJK faces here
  // keep more leading. Wrapped text that would not fit sets its lines that close, so a two-line
  // message stays whole inside its row instead of losing its second line to the clip.
  if (height > rect.Height() && pango_layout_get_line_count(layout) > 1 && pango_layout_get_line_spacing(layout) == 0.0f) {
    pango_layout_set_line_spacing(layout, kCompactLineSpacing);
    pango_layout_get_pixel_size(layout, &width, &height);
  }
  int y = rect.top;
  if (height > rect.Height() && overflow) y = overflow->top + (overflow->Height() - height) / 2;
  else if (valign == VAlign::kCenter) y = rect.top + (rect.Height() - height) / 2;
  else if (valign == VAlign::kBottom) y = rect.bottom - height;
  SetColor(m_cr, color);
  cairo_move_to(m_cr, rect.left, y);
  pango_cairo_show_layout(m_cr, layout);
  g_object_unref(layout);
}

PangoLayout* Painter::CreateLayout(const std::wstring& text, int width, int font, HAlign align) {
  PangoLayout* layout = pango_cairo_create_layout(m_cr);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
  PangoContext* context = pango_layout_get_context(layout);
  pango_cairo_context_set_font_options(context, options);
  // The skins' texts are Chinese, whatever the host's locale: punctuation takes its Chinese forms.
  pango_context_set_language(context, pango_language_from_string("zh-cn"));
  cairo_font_options_destroy(options);
  pango_layout_context_changed(layout);
  if (m_fonts) pango_layout_set_font_description(layout, m_fonts->Get(font));
  const std::string utf8 = platform::WideToUtf8(text);
  pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
  pango_layout_set_width(layout, width * PANGO_SCALE);
  pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  pango_layout_set_alignment(layout, align == HAlign::kCenter  ? PANGO_ALIGN_CENTER
                                     : align == HAlign::kRight ? PANGO_ALIGN_RIGHT
                                                               : PANGO_ALIGN_LEFT);
  return layout;
}

}  // namespace ui
