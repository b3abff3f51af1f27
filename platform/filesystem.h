// Files and directories by drive path, with Windows semantics: attributes (the read-only
// attribute is the owner's write permission), creation and removal, moves, free space per drive,
// directory entries with Windows file times (100 ns since 1601-01-01 UTC). Failures return false
// (or the documented failure value) and set the Windows error number as the last error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline constexpr uint32_t FILE_ATTRIBUTE_READONLY = 0x1;
inline constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
// A symbolic link; with FILE_ATTRIBUTE_DIRECTORY when it leads to a directory.
inline constexpr uint32_t FILE_ATTRIBUTE_REPARSE_POINT = 0x400;
inline constexpr uint32_t INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

inline constexpr uint32_t MOVEFILE_REPLACE_EXISTING = 0x1;

// The seconds between 1601-01-01 and 1970-01-01, in file-time units.
inline constexpr int64_t kFileTimeUnixEpoch = 116444736000000000LL;

// Whether a file or directory (or a symbolic link, even a dangling one) exists at `path`.
bool PathFileExists(std::wstring_view path);
bool IsDirectory(std::wstring_view path);

uint32_t GetFileAttributes(std::wstring_view path);
// Only FILE_ATTRIBUTE_READONLY has an effect: set, it removes every write permission; cleared, it
// gives the owner write permission back.
bool SetFileAttributes(std::wstring_view path, uint32_t attributes);

// One directory; its parent must exist. ERROR_ALREADY_EXISTS when the name is taken.
bool CreateDirectory(std::wstring_view path);
// The directory with every missing parent, returning a Windows error number: ERROR_SUCCESS,
// ERROR_ALREADY_EXISTS (a directory is there), ERROR_FILE_EXISTS (something else is there),
// ERROR_BAD_PATHNAME (a relative or empty path), ERROR_PATH_NOT_FOUND (no such drive, or a file
// in the way), or the error of the step that failed.
uint32_t CreateDirectoryTree(std::wstring_view path);
// An empty directory (a symbolic link to one is refused with ERROR_DIRECTORY).
bool RemoveDirectory(std::wstring_view path);
// A file or a symbolic link. Refused with ERROR_ACCESS_DENIED for a directory or a file with the
// read-only attribute, with ERROR_SHARING_VIOLATION while a handle refusing delete sharing is open.
bool DeleteFile(std::wstring_view path);
// Renames within a host file system. Without MOVEFILE_REPLACE_EXISTING an existing target fails
// with ERROR_ALREADY_EXISTS; a read-only or held target, or a directory target, fails with
// ERROR_ACCESS_DENIED; a held source with ERROR_SHARING_VIOLATION; another file system with
// ERROR_NOT_SAME_DEVICE.
bool MoveFileEx(std::wstring_view from, std::wstring_view to, uint32_t flags);

// Bytes free for the caller, total bytes and free bytes on the volume of `directory` (the current
// directory's volume when null).
bool GetDiskFreeSpaceEx(const wchar_t* directory, uint64_t* freeToCaller, uint64_t* totalBytes,
                        uint64_t* totalFreeBytes);

// A directory entry. The size of a directory or a link is 0.
struct FindData {
  std::wstring name;
  uint32_t attributes = 0;
  uint64_t size = 0;
  int64_t creationTime = 0;  // file times
  int64_t lastAccessTime = 0;
  int64_t lastWriteTime = 0;
};
// The entry of the file or directory at `path` (no wild cards). A drive root, or a path ending in
// a separator, has none (ERROR_FILE_NOT_FOUND).
bool GetFindData(std::wstring_view path, FindData* out);
// The entries of directory `path`, without "." and "..", in no particular order.
bool ListDirectory(std::wstring_view path, std::vector<FindData>* out);


}  // namespace platform
