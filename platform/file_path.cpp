#include "platform/file_path.h"

#include <sys/stat.h>

#include <climits>
#include <cerrno>

#include "platform/drives.h"
#include "platform/errors.h"

namespace platform {
namespace {

bool IsForbiddenInName(wchar_t c) {
  return c < 32 || c == L'<' || c == L'>' || c == L':' || c == L'"' || c == L'|' || c == L'?' || c == L'*';
}

std::wstring_view WithoutLongPrefix(std::wstring_view path) {
  if (path.size() >= 4 && path.substr(0, 4) == L"\\\\?\\") path.remove_prefix(4);
  return path;
}

}  // namespace

std::optional<std::string> ResolveHostPath(std::wstring_view path) {
  const std::wstring_view plain = WithoutLongPrefix(path);
  if (plain.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return std::nullopt;
  }
  const std::wstring_view names = plain.size() >= 2 && plain[1] == L':' ? plain.substr(2) : plain;
  for (wchar_t c : names) {
    if (IsForbiddenInName(c)) {
      SetLastError(ERROR_INVALID_NAME);
      return std::nullopt;
    }
  }
  std::optional<std::string> host = ToHostPath(path);
  if (!host) {
    SetLastError(ERROR_PATH_NOT_FOUND);
  } else if (host->size() >= PATH_MAX) {
    // Refused whole, before a tree creation could leave half of it behind.
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return std::nullopt;
  }
  return host;
}

uint32_t SetLastErrorForPath(int errnoValue, const std::string& hostPath) {
  if (errnoValue != ENOENT) {
    const uint32_t error = WinErrorFromErrno(errnoValue);
    SetLastError(error);
    return error;
  }
  std::string_view trimmed = hostPath;
  while (!trimmed.empty() && trimmed.back() == '/') trimmed.remove_suffix(1);
  const size_t slash = trimmed.rfind('/');
  const std::string parent(slash == std::string_view::npos ? std::string_view(".")
                                                           : trimmed.substr(0, slash == 0 ? 1 : slash));
  struct stat st {};
  const bool parentIsDirectory = ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  const uint32_t error = parentIsDirectory ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
  SetLastError(error);
  return error;
}

std::optional<std::string> HostDriveRoot(std::wstring_view path) {
  path = WithoutLongPrefix(path);
  std::wstring root = L"C:\\";
  if (path.size() >= 2 && path[1] == L':') root[0] = path[0];
  return ToHostPath(root);
}

}  // namespace platform
