#include "platform/shell_folders.h"

#include "platform/errors.h"
#include "platform/filesystem.h"

namespace platform {

std::wstring GetSpecialFolderPath(int csidl) {
  if (csidl != CSIDL_COMMON_APPDATA) return std::wstring();
  const std::wstring path = L"C:\\ProgramData";
  const uint32_t made = CreateDirectoryTree(path);
  return made == ERROR_SUCCESS || made == ERROR_ALREADY_EXISTS ? path : std::wstring();
}

}  // namespace platform
