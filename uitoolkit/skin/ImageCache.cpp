#include "uitoolkit/skin/ImageCache.h"

#include <cairo.h>

#include <cstring>

#include "commonlib/logger/Log.h"
#include "uitoolkit/skin/SkinArchive.h"

namespace ui {
namespace {

struct ReadCursor {
  const std::string* bytes;
  size_t offset;
};

cairo_status_t ReadFromString(void* closure, unsigned char* data, unsigned int length) {
  auto* cursor = static_cast<ReadCursor*>(closure);
  if (cursor->bytes->size() - cursor->offset < length) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(data, cursor->bytes->data() + cursor->offset, length);
  cursor->offset += length;
  return CAIRO_STATUS_SUCCESS;
}

std::wstring DoubleScaleName(const std::wstring& name) {
  const size_t dot = name.rfind(L'.');
  if (dot == std::wstring::npos) return name + L"@2x";
  return name.substr(0, dot) + L"@2x" + name.substr(dot);
}

}  // namespace

ImageCache::ImageCache(SkinArchive* archive) : m_archive(archive) {}

ImageCache::~ImageCache() {
  for (auto& [name, surface] : m_images)
    if (surface) cairo_surface_destroy(surface);
}

cairo_surface_t* ImageCache::Get(const std::wstring& name, int scale) {
  if (scale >= 2) {
    if (cairo_surface_t* sharp = Load(DoubleScaleName(name), false)) {
      cairo_surface_set_device_scale(sharp, 2, 2);
      return sharp;
    }
  }
  return Load(name, true);
}

cairo_surface_t* ImageCache::Load(const std::wstring& name, bool logMissing) {
  const std::wstring key = NormaliseSkinName(name);
  auto it = m_images.find(key);
  if (it != m_images.end()) return it->second;

  cairo_surface_t* surface = nullptr;
  std::string bytes;
  if (m_archive->Read(name, &bytes)) {
    ReadCursor cursor{&bytes, 0};
    surface = cairo_image_surface_create_from_png_stream(ReadFromString, &cursor);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(surface);
      surface = nullptr;
      LOGW(L"ImageCache::Load() 图片无法解码 %s", name.c_str());
    }
  } else if (logMissing) {
    LOGW(L"ImageCache::Load() 皮肤中没有图片 %s", name.c_str());
  }
  m_images.emplace(key, surface);
  return surface;
}

}  // namespace ui
