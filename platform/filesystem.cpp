#include "platform/filesystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>

#include "platform/drives.h"
#include "platform/errors.h"
#include "platform/file_path.h"
#include "platform/file_share.h"
#include "platform/text.h"

namespace platform {
namespace {

bool Fail(uint32_t error) {
  SetLastError(error);
  return false;
}

int64_t ToFileTime(const struct statx_timestamp& t) {
  return static_cast<int64_t>(t.tv_sec) * 10000000 + t.tv_nsec / 100 + kFileTimeUnixEpoch;
}

// statx without following a final link; errno is left for the caller on failure.
bool StatEntry(int dirFd, const char* path, struct statx* out) {
  return ::statx(dirFd, path, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, out) == 0;
}

bool TargetIsDirectory(int dirFd, const char* path) {
  struct stat st {};
  return ::fstatat(dirFd, path, &st, 0) == 0 && S_ISDIR(st.st_mode);
}

FindData FindDataFrom(int dirFd, const char* path, const struct statx& sx, std::wstring name) {
  FindData data;
  data.name = std::move(name);
  const mode_t mode = sx.stx_mode;
  if (S_ISLNK(mode)) {
    data.attributes = FILE_ATTRIBUTE_REPARSE_POINT;
    if (TargetIsDirectory(dirFd, path)) data.attributes |= FILE_ATTRIBUTE_DIRECTORY;
  } else {
    if (S_ISDIR(mode)) data.attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if ((mode & S_IWUSR) == 0) data.attributes |= FILE_ATTRIBUTE_READONLY;
    if (!S_ISDIR(mode)) data.size = sx.stx_size;
  }
  if (data.attributes == 0) data.attributes = FILE_ATTRIBUTE_NORMAL;
  data.lastWriteTime = ToFileTime(sx.stx_mtime);
  data.lastAccessTime = ToFileTime(sx.stx_atime);
  data.creationTime = (sx.stx_mask & STATX_BTIME) ? ToFileTime(sx.stx_btime) : data.lastWriteTime;
  return data;
}

std::string LastElement(const std::string& host) {
  const size_t slash = host.rfind('/');
  return slash == std::string::npos ? host : host.substr(slash + 1);
}

bool IsDriveRoot(std::wstring_view path, const std::string& host) {
  const std::optional<std::string> root = HostDriveRoot(path);
  return root && *root == host && (path.size() >= 2 && (path[1] == L':' || path[0] == L'\\' || path[0] == L'/'));
}

bool IsRelative(std::wstring_view path) {
  if (path.empty()) return true;
  if (path[0] == L'\\' || path[0] == L'/') return false;
  return !(path.size() >= 2 && path[1] == L':');
}

std::optional<struct stat> LStat(const std::string& host) {
  struct stat st {};
  if (::lstat(host.c_str(), &st) != 0) return std::nullopt;
  return st;
}

}  // namespace

bool PathFileExists(std::wstring_view path) {
  const std::optional<std::string> host = ResolveHostPath(path);
  if (!host) return false;
  if (!LStat(*host)) {
    SetLastErrorForPath(errno, *host);
    return false;
  }
  return true;
}

bool IsDirectory(std::wstring_view path) {
  const uint32_t attributes = GetFileAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

uint32_t GetFileAttributes(std::wstring_view path) {
  const std::optional<std::string> host = ResolveHostPath(path);
  if (!host) return INVALID_FILE_ATTRIBUTES;
  struct statx sx {};
  if (!StatEntry(AT_FDCWD, host->c_str(), &sx)) {
    SetLastErrorForPath(errno, *host);
    return INVALID_FILE_ATTRIBUTES;
  }
  return FindDataFrom(AT_FDCWD, host->c_str(), sx, std::wstring()).attributes;
}

bool SetFileAttributes(std::wstring_view path, uint32_t attributes) {
  const std::optional<std::string> host = ResolveHostPath(path);
  if (!host) return false;
  struct stat st {};
  if (::stat(host->c_str(), &st) != 0) {
    SetLastErrorForPath(errno, *host);
    return false;
  }
  mode_t mode = st.st_mode & 07777;
  mode = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~static_cast<mode_t>(0222)) : (mode | S_IWUSR);
  if (mode != (st.st_mode & 07777) && ::chmod(host->c_str(), mode) != 0) return Fail(WinErrorFromErrno(errno));
  return true;
}

bool CreateDirectory(std::wstring_view path) {
  const std::optional<std::string> host = ResolveHostPath(path);
  if (!host) return false;
  if (::mkdir(host->c_str(), 0777) != 0) {
    SetLastErrorForPath(errno, *host);
    return false;
  }
  return true;
}

uint32_t CreateDirectoryTree(std::wstring_view path) {
  if (IsRelative(path)) return SetLastError(ERROR_BAD_PATHNAME), ERROR_BAD_PATHNAME;
  const std::optional<std::string> host = ResolveHostPath(path);
  if (!host) return GetLastError();
  if (const std::optional<struct stat> st = LStat(*host)) {
    const uint32_t result = S_ISDIR(st->st_mode) ? ERROR_ALREADY_EXISTS : ERROR_FILE_EXISTS;
    SetLastError(result);
    return result;
  }
  std::string current = HostDriveRoot(path).value_or(std::string());
  struct stat rootStat {};
  if (::stat(current.c_str(), &rootStat) != 0 || !S_ISDIR(rootStat.st_mode))
    return SetLastError(ERROR_PATH_NOT_FOUND), ERROR_PATH_NOT_FOUND;
  if (current == "/") current.clear();
  std::string_view rest = std::string_view(*host).substr(current.size());
  while (!rest.empty()) {
    const size_t begin = rest.find_first_not_of('/');
    if (begin == std::string_view::npos) break;
    const size_t end = rest.find('/', begin);
    current += "/";
    current += rest.substr(begin, end - begin);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    if (::mkdir(current.c_str(), 0777) == 0) continue;
    if (errno == EEXIST) {
      struct stat st {};
      if (::stat(current.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
      return SetLastError(ERROR_PATH_NOT_FOUND), ERROR_PATH_NOT_FOUND;
    }
    return SetLastErrorForPath(errno, current);
  }
  SetLastError(ERROR_SUCCESS);
  return ERROR_SUCCESS;
}

bool RemoveDirectory(std::wstring_view path) {
  const std::optional<std::string> host = ResolveHostPath(path);
  if (!host) return false;
  if (IsDriveRoot(path, *host)) return Fail(ERROR_ACCESS_DENIED);
  if (::rmdir(host->c_str()) == 0) return true;
  const int error = errno;
  if (error == ENOTEMPTY || error == EEXIST) return Fail(ERROR_DIR_NOT_EMPTY);
  if (error == ENOTDIR) {
    const std::optional<struct stat> st = LStat(*host);
    if (st && !S_ISDIR(st->st_mode)) return Fail(ERROR_DIRECTORY);
  }
  SetLastErrorForPath(error, *host);
  return false;
}

bool DeleteFile(std::wstring_view path) {
  const std::optional<std::string> host = ResolveHostPath(path);
  if (!host) return false;
  const std::optional<struct stat> st = LStat(*host);
  if (!st) {
    SetLastErrorForPath(errno, *host);
    return false;
  }
  if (S_ISDIR(st->st_mode)) return Fail(ERROR_ACCESS_DENIED);
  if (S_ISREG(st->st_mode) && (st->st_mode & S_IWUSR) == 0) return Fail(ERROR_ACCESS_DENIED);
  if (IsHeldWithoutDeleteSharing(*host)) return Fail(ERROR_SHARING_VIOLATION);
  if (::unlink(host->c_str()) != 0) {
    SetLastErrorForPath(errno, *host);
    return false;
  }
  return true;
}

bool MoveFileEx(std::wstring_view from, std::wstring_view to, uint32_t flags) {
  const std::optional<std::string> source = ResolveHostPath(from);
  if (!source) return false;
  const std::optional<std::string> target = ResolveHostPath(to);
  if (!target) return false;
  const std::optional<struct stat> sourceStat = LStat(*source);
  if (!sourceStat) {
    SetLastErrorForPath(errno, *source);
    return false;
  }
  if (IsDriveRoot(from, *source) || IsDriveRoot(to, *target)) return Fail(ERROR_ACCESS_DENIED);
  if (IsHeldWithoutDeleteSharing(*source)) return Fail(ERROR_SHARING_VIOLATION);
  if (const std::optional<struct stat> targetStat = LStat(*target)) {
    const bool sameEntry = targetStat->st_dev == sourceStat->st_dev && targetStat->st_ino == sourceStat->st_ino;
    if (!sameEntry) {
      if ((flags & MOVEFILE_REPLACE_EXISTING) == 0) return Fail(ERROR_ALREADY_EXISTS);
      if (S_ISDIR(targetStat->st_mode) || S_ISDIR(sourceStat->st_mode)) return Fail(ERROR_ACCESS_DENIED);
      if (S_ISREG(targetStat->st_mode) && (targetStat->st_mode & S_IWUSR) == 0) return Fail(ERROR_ACCESS_DENIED);
      if (IsHeldWithoutDeleteSharing(*target)) return Fail(ERROR_ACCESS_DENIED);
    }
  }
  if (::rename(source->c_str(), target->c_str()) != 0) {
    SetLastErrorForPath(errno, *target);
    return false;
  }
  return true;
}

bool GetDiskFreeSpaceEx(const wchar_t* directory, uint64_t* freeToCaller, uint64_t* totalBytes,
                        uint64_t* totalFreeBytes) {
  std::string host = ".";
  if (directory != nullptr) {
    std::optional<std::string> resolved = ResolveHostPath(directory);
    if (!resolved) return false;
    host = std::move(*resolved);
  }
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) {
    SetLastErrorForPath(errno, host);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) return Fail(ERROR_DIRECTORY);
  struct statvfs vfs {};
  if (::statvfs(host.c_str(), &vfs) != 0) return Fail(WinErrorFromErrno(errno));
  const uint64_t unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
  if (freeToCaller) *freeToCaller = static_cast<uint64_t>(vfs.f_bavail) * unit;
  if (totalBytes) *totalBytes = static_cast<uint64_t>(vfs.f_blocks) * unit;
  if (totalFreeBytes) *totalFreeBytes = static_cast<uint64_t>(vfs.f_bfree) * unit;
  return true;
}

bool GetFindData(std::wstring_view path, FindData* out) {
  const std::optional<std::string> host = ResolveHostPath(path);
  if (!host) return false;
  // A drive root has no directory entry of its own, and a name ending in a separator names none.
  if (IsDriveRoot(path, *host)) return Fail(ERROR_FILE_NOT_FOUND);
  if (path.back() == L'\\' || path.back() == L'/') return Fail(ERROR_FILE_NOT_FOUND);
  struct statx sx {};
  if (!StatEntry(AT_FDCWD, host->c_str(), &sx)) {
    SetLastErrorForPath(errno, *host);
    return false;
  }
  if (out) *out = FindDataFrom(AT_FDCWD, host->c_str(), sx, Utf8ToWide(LastElement(*host)));
  return true;
}

bool ListDirectory(std::wstring_view path, std::vector<FindData>* out) {
  const std::optional<std::string> host = ResolveHostPath(path);
  if (!host) return false;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(host->c_str()), &::closedir);
  if (!dir) {
    SetLastErrorForPath(errno, *host);
    return false;
  }
  std::vector<FindData> entries;
  const int dirFd = ::dirfd(dir.get());
  errno = 0;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct statx sx {};
    if (!StatEntry(dirFd, entry->d_name, &sx)) continue;  // gone since it was listed
    entries.push_back(FindDataFrom(dirFd, entry->d_name, sx, Utf8ToWide(name)));
    errno = 0;
  }
  if (errno != 0) return Fail(WinErrorFromErrno(errno));
  if (out) *out = std::move(entries);
  return true;
}


}  // namespace platform
