#include "commonlib/util/FileUtils.h"

#include "commonlib/util/CommonUtils.h"

#include <vector>

#include "commonlib/logger/Log.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/filesystem.h"
#include "platform/format.h"

namespace {

bool IsSlash(wchar_t c) { return c == L'\\' || c == L'/'; }

std::vector<std::wstring> SplitAtBackslashes(const std::wstring& path) {
  std::vector<std::wstring> elements;
  size_t begin = 0;
  for (;;) {
    const size_t end = path.find(L'\\', begin);
    elements.push_back(path.substr(begin, end - begin));
    if (end == std::wstring::npos) return elements;
    begin = end + 1;
  }
}

bool HasForbiddenCharacter(const std::wstring& element) {
  return element.find_first_of(L"\\/:*?\"<>|") != std::wstring::npos;
}

}  // namespace

std::wstring NormalizePath(const std::wstring& path) {
  if (path.empty()) return std::wstring();
  std::wstring out;
  out.reserve(path.size());
  for (wchar_t c : path) {
    if (IsSlash(c)) {
      if (!out.empty() && out.back() == L'\\') continue;
      out.push_back(L'\\');
    } else {
      out.push_back(c);
    }
  }
  if (!out.empty() && out.back() == L'\\') out.pop_back();
  return out;
}

std::wstring GetParentDirectory(const std::wstring& path) {
  const std::wstring normal = NormalizePath(path);
  const size_t slash = normal.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : normal.substr(0, slash);
}

std::wstring GetFileName(const std::wstring& path) {
  const std::wstring normal = NormalizePath(path);
  const size_t slash = normal.rfind(L'\\');
  return slash == std::wstring::npos ? normal : normal.substr(slash + 1);
}

std::wstring GetDriveRoot(const std::wstring& path) { return path.size() >= 2 ? path.substr(0, 2) : std::wstring(); }

bool FileExists(const std::wstring& path) { return platform::PathFileExists(path); }

bool DriveExists(const std::wstring& path) {
  return platform::PathFileExists(path.size() < 2 ? path : GetDriveRoot(path));
}

uint64_t GetDiskFreeSpace(const std::wstring& path) {
  uint64_t freeToCaller = 0;
  const std::wstring root = GetDriveRoot(path);
  if (!platform::GetDiskFreeSpaceEx(path.size() < 2 ? nullptr : root.c_str(), &freeToCaller, nullptr, nullptr))
    return 0;
  return freeToCaller;
}

bool IsValidInstallPath(const std::wstring& path) {
  if (path.empty()) return false;
  const std::vector<std::wstring> elements = SplitAtBackslashes(path);
  if (elements[0].size() != 2 || elements[0][1] != L':') return false;
  for (size_t i = 1; i < elements.size(); ++i) {
    if (HasForbiddenCharacter(elements[i])) return false;
  }
  return true;
}

bool IsDirectoryWritable(const std::wstring& dir) {
  std::wstring existing = dir;
  while (!FileExists(existing)) {
    existing = GetParentDirectory(existing);
    if (existing.empty()) return false;
  }
  const auto seconds = static_cast<uint32_t>(platform::WallClockMs() / 1000);
  const std::wstring probe = platform::StrFormat(L"%s\\qxtest_%d.vkqx", existing, static_cast<int32_t>(seconds));
  if (!MakeEmptyFile(probe)) return false;
  DeleteFileIfExists(probe);
  return true;
}

int64_t GetFileSize(const std::wstring& path) {
  const platform::FileHandle file = platform::CreateFile(
      path, platform::GENERIC_READ, platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE, platform::OPEN_EXISTING,
      false);
  if (file != platform::kInvalidFile) {
    uint64_t size = 0;
    const bool known = platform::GetFileSize(file, &size);
    platform::CloseHandle(file);
    if (known) return static_cast<int64_t>(size);
  }
  platform::FindData entry;
  if (platform::GetFindData(path, &entry)) return static_cast<int64_t>(entry.size);
  return -1;
}

bool GetFileModifiedTime(const std::wstring& path, int64_t& seconds) {
  std::wstring full = path;
  if (path.size() <= 2 || path[1] != L':') full = GetModuleDirectory() + L"\\" + path;
  platform::FindData entry;
  if (!platform::GetFindData(full, &entry)) return false;
  seconds = (entry.lastWriteTime - platform::kFileTimeUnixEpoch) / 10000000;
  return true;
}

bool CreateDir(const std::wstring& dir) {
  if (platform::IsDirectory(dir)) return true;
  const uint32_t ret = platform::CreateDirectoryTree(dir);
  const bool created = ret == platform::ERROR_SUCCESS || ret == platform::ERROR_FILE_EXISTS ||
                       ret == platform::ERROR_ALREADY_EXISTS;
  // A file of that name does not make a directory.
  if (created && platform::IsDirectory(dir)) return true;
  LOGE(L"CreateDir：%s ret：%d", dir, static_cast<int32_t>(ret));
  return false;
}

bool MakeEmptyFile(const std::wstring& path) {
  CreateDir(GetParentDirectory(path));
  const platform::FileHandle file =
      platform::CreateFile(path, platform::GENERIC_WRITE, 0, platform::CREATE_ALWAYS, true);
  if (file == platform::kInvalidFile) return false;
  platform::CloseHandle(file);
  return true;
}

bool DeleteFileIfExists(const std::wstring& path) {
  if (!FileExists(path)) return true;
  return platform::DeleteFile(path);
}

bool MoveFileWithRetry(const std::wstring& from, const std::wstring& to, int retries) {
  if (!FileExists(from)) return false;
  if (retries < 0) retries = 0;
  for (int attempt = 0; attempt <= retries; ++attempt) {
    if (platform::MoveFileEx(from, to, platform::MOVEFILE_REPLACE_EXISTING)) return true;
    if (retries != 0) {
      const uint32_t error = platform::GetLastError();
      platform::Sleep(static_cast<uint32_t>(100 * attempt + 1));
      platform::SetLastError(error);
    }
  }
  return false;
}

void ClearReadOnly(const std::wstring& path) {
  if (!FileExists(path)) return;
  const uint32_t attributes = platform::GetFileAttributes(path);
  if (attributes == platform::INVALID_FILE_ATTRIBUTES || (attributes & platform::FILE_ATTRIBUTE_READONLY) == 0) return;
  platform::SetFileAttributes(path, attributes & ~platform::FILE_ATTRIBUTE_READONLY);
}

bool DeleteDirectoryTree(const std::wstring& dir) {
  if (dir == L"\\" || dir == L"/") return true;
  if (!FileExists(dir)) return true;
  // Names are appended to the directory; without its separator they would name its siblings.
  std::wstring base = dir;
  if (!IsSlash(base.back())) base.push_back(L'\\');
  std::vector<platform::FindData> entries;
  platform::ListDirectory(base, &entries);
  for (const platform::FindData& entry : entries) {
    const std::wstring child = base + entry.name;
    const bool isDirectory = (entry.attributes & platform::FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool isLink = (entry.attributes & platform::FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (isDirectory && !isLink) {
      DeleteDirectoryTree(child + L"\\");
    } else if (!platform::DeleteFile(child)) {
      ClearReadOnly(child);
      platform::DeleteFile(child);
    }
  }
  return platform::RemoveDirectory(base);
}
