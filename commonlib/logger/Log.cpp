#include "commonlib/logger/Log.h"

#include <cstring>

#include "platform/text.h"

std::wstring LogSourcePath(const char* file) {
  std::string path = file ? file : "";
#ifdef VKQX_SOURCE_ROOT
  const std::string root = VKQX_SOURCE_ROOT;
  if (path.compare(0, root.size(), root) == 0) path.erase(0, root.size());
#endif
  // Each top-level directory is its own project; positions are relative to it.
  for (const char* project : {"commonlib/", "installer/", "uitoolkit/", "platform/", "tools/"}) {
    const size_t n = std::strlen(project);
    if (path.compare(0, n, project) == 0) {
      path.erase(0, n);
      break;
    }
  }
  std::wstring out = L".\\" + platform::AnsiToWide(path);
  for (wchar_t& c : out)
    if (c == L'/') c = L'\\';
  return out;
}
