// The skin's fonts: numbered font descriptions of a window, turned into pango font descriptions.
// The skins name Windows faces (宋体, 微软雅黑); fontconfig aliases map them to the CJK fonts of
// Debian's font packages before any font is looked up.
#pragma once

#include <map>
#include <string>

typedef struct _PangoFontDescription PangoFontDescription;

namespace ui {

struct FontDesc {
  std::wstring name = L"宋体";
  int size = 12;  // pixels, as the skin's sizes are
  bool bold = false;
  bool italic = false;
  bool underline = false;
};

// Adds the aliases once per process; called before the first text is laid out.
void EnsureFontAliases();

class FontSet {
 public:
  FontSet() = default;
  ~FontSet();
  FontSet(const FontSet&) = delete;
  FontSet& operator=(const FontSet&) = delete;

  void Add(int id, const FontDesc& font, bool isDefault);
  // The font of `id`, the default font for -1 or an id the skin does not have.
  const PangoFontDescription* Get(int id) const;
  const FontDesc* Find(int id) const;

 private:
  std::map<int, FontDesc> m_fonts;
  int m_defaultId = -1;
  mutable std::map<int, PangoFontDescription*> m_pango;
};

}  // namespace ui
