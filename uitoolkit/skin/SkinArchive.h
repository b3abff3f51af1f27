// The files of a skin: a zip archive held in memory (the program's resource), a zip file on disk
// or a plain folder (tests and tools). Names are looked up without regard to case, as the skins
// were written for a file system that ignores it.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "uitoolkit/skin/ImageCache.h"

namespace ui {

class SkinArchive {
 public:
  virtual ~SkinArchive();

  // A zip archive given as bytes; null (with the reason in *error) when they are not a zip.
  static std::unique_ptr<SkinArchive> FromZipBytes(std::string bytes, std::string* error);
  // A folder or a zip file on disk, told apart by what the path is.
  static std::unique_ptr<SkinArchive> FromPath(const std::string& path, std::string* error);

  // The bytes of a file of the skin; false when it has none of that name.
  virtual bool Read(const std::wstring& name, std::string* bytes) = 0;

  // Decoded images of this skin, each decoded once.
  ImageCache& Images() { return m_images; }

 protected:
  SkinArchive();

 private:
  ImageCache m_images;
};

// The lower-case, forward-slash form under which names are looked up.
std::wstring NormaliseSkinName(const std::wstring& name);

}  // namespace ui
