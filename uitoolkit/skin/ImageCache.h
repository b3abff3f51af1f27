// Decoded images of one skin. Each file is decoded once, on first use, and kept until the skin
// is released; a file the skin lacks or that does not decode is remembered as missing, logged
// once and then skipped quietly (the progress bar asks for it fifty times a second).
#pragma once

#include <map>
#include <string>

typedef struct _cairo_surface cairo_surface_t;

namespace ui {

class SkinArchive;

class ImageCache {
 public:
  explicit ImageCache(SkinArchive* archive);
  ~ImageCache();
  ImageCache(const ImageCache&) = delete;
  ImageCache& operator=(const ImageCache&) = delete;

  // The image for painting at `scale`: at scale 2 "name@2x.png" when the skin has it (its device
  // scale set to 2, so it measures like the plain one), else the plain image. Null when missing.
  // The cache keeps ownership.
  cairo_surface_t* Get(const std::wstring& name, int scale);

 private:
  cairo_surface_t* Load(const std::wstring& name, bool logMissing);

  SkinArchive* m_archive;
  std::map<std::wstring, cairo_surface_t*> m_images;  // null: missing
};

}  // namespace ui
