#include "uitoolkit/paint/Fonts.h"

#include <fontconfig/fontconfig.h>
#include <pango/pango.h>

#include <mutex>

#include "platform/text.h"

namespace ui {
namespace {

// Both faces map to the sans CJK font: at 12 pixels the serif face reads poorly without the
// bitmap strikes the original faces carry.
constexpr char kCjkFamily[] = "Noto Sans CJK SC";

constexpr char kAliases[] = R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <alias binding="same"><family>宋体</family><prefer><family>Noto Sans CJK SC</family></prefer></alias>
  <alias binding="same"><family>SimSun</family><prefer><family>Noto Sans CJK SC</family></prefer></alias>
  <alias binding="same"><family>微软雅黑</family><prefer><family>Noto Sans CJK SC</family></prefer></alias>
  <alias binding="same"><family>Microsoft YaHei</family><prefer><family>Noto Sans CJK SC</family></prefer></alias>
</fontconfig>)";

}  // namespace

void EnsureFontAliases() {
  static std::once_flag once;
  std::call_once(once, [] {
    FcInit();
    FcConfigParseAndLoadFromMemory(FcConfigGetCurrent(), reinterpret_cast<const FcChar8*>(kAliases), FcFalse);
  });
}

FontSet::~FontSet() {
  for (auto& [id, desc] : m_pango) pango_font_description_free(desc);
}

void FontSet::Add(int id, const FontDesc& font, bool isDefault) {
  m_fonts[id] = font;
  if (isDefault || m_defaultId < 0) m_defaultId = id;
  if (auto it = m_pango.find(id); it != m_pango.end()) {
    pango_font_description_free(it->second);
    m_pango.erase(it);
  }
}

const FontDesc* FontSet::Find(int id) const {
  auto it = m_fonts.find(id);
  if (it == m_fonts.end()) it = m_fonts.find(m_defaultId);
  return it == m_fonts.end() ? nullptr : &it->second;
}

const PangoFontDescription* FontSet::Get(int id) const {
  const FontDesc* font = Find(id);
  const int key = font ? (m_fonts.count(id) ? id : m_defaultId) : -1;
  if (auto it = m_pango.find(key); it != m_pango.end()) return it->second;
  static const FontDesc kFallback;
  const FontDesc& f = font ? *font : kFallback;
  PangoFontDescription* desc = pango_font_description_new();
  // The CJK face follows as a second family: should the aliases be lost (GTK reloads the
  // font configuration when its settings change), the text keeps its face.
  pango_font_description_set_family(desc, (platform::WideToUtf8(f.name) + "," + kCjkFamily).c_str());
  pango_font_description_set_absolute_size(desc, f.size * PANGO_SCALE);
  pango_font_description_set_weight(desc, f.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(desc, f.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  m_pango.emplace(key, desc);
  return desc;
}

}  // namespace ui
