#include "uitoolkit/window/SkinResource.h"

#include "commonlib/logger/Log.h"
#include "platform/text.h"

namespace ui {
namespace {

std::unique_ptr<SkinArchive>& TheSkin() {
  static std::unique_ptr<SkinArchive> skin;
  return skin;
}

}  // namespace

void SetSkinArchive(std::unique_ptr<SkinArchive> skin) { TheSkin() = std::move(skin); }
SkinArchive* CurrentSkinArchive() { return TheSkin().get(); }

bool OpenSkinPath(const std::string& path) {
  std::string error;
  auto skin = SkinArchive::FromPath(path, &error);
  if (!skin) {
    LOGE(L"OpenSkinPath() 皮肤无法打开 %s: %s", platform::Utf8ToWide(path).c_str(), platform::Utf8ToWide(error).c_str());
    return false;
  }
  SetSkinArchive(std::move(skin));
  return true;
}

bool OpenSkinBytes(std::string bytes) {
  std::string error;
  const size_t size = bytes.size();
  auto skin = SkinArchive::FromZipBytes(std::move(bytes), &error);
  if (!skin) {
    LOGE(L"OpenSkinBytes() 皮肤资源不是有效的zip size:%u: %s", static_cast<unsigned>(size),
         platform::Utf8ToWide(error).c_str());
    return false;
  }
  SetSkinArchive(std::move(skin));
  return true;
}

void ReleaseSkinArchive() { TheSkin().reset(); }

}  // namespace ui
