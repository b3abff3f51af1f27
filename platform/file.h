// Files with Windows semantics: a handle opened from a drive path with access, sharing, creation
// disposition and inheritance; sequential and positioned reads and writes; 64-bit seeks and
// lengths. Every failure returns false (or the invalid handle) and sets the Windows error number as
// the last error (platform/errors.h).
//
// Sharing is enforced between handles of this layer, in this process and in others, with
// open-file-description locks on bytes far past any real data (see docs/DESIGN.md, "Files"). A
// handle opened without delete sharing also makes DeleteFile and MoveFile refuse the file, as on
// Windows. Programs that do not use this layer are not held back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

namespace platform {

struct FileObject;
// An open file, or kInvalidFile. Owned by whoever opened it until CloseHandle.
using FileHandle = FileObject*;
inline constexpr FileHandle kInvalidFile = nullptr;

// Access rights.
inline constexpr uint32_t GENERIC_READ = 0x80000000u;
inline constexpr uint32_t GENERIC_WRITE = 0x40000000u;

// What other handles may do while this one is open.
inline constexpr uint32_t FILE_SHARE_READ = 0x1;
inline constexpr uint32_t FILE_SHARE_WRITE = 0x2;
inline constexpr uint32_t FILE_SHARE_DELETE = 0x4;

enum CreationDisposition : uint32_t {
  CREATE_NEW = 1,         // fails with ERROR_FILE_EXISTS when the file exists
  CREATE_ALWAYS = 2,      // creates or truncates
  OPEN_EXISTING = 3,      // fails with ERROR_FILE_NOT_FOUND when it does not exist
  OPEN_ALWAYS = 4,        // opens or creates, keeping the contents
  TRUNCATE_EXISTING = 5,  // opens and truncates; the file must exist
};

enum SeekOrigin : uint32_t { FILE_BEGIN = 0, FILE_CURRENT = 1, FILE_END = 2 };

// Opens `path` (a drive path, see platform/drives.h). Opening a directory fails with
// ERROR_ACCESS_DENIED, and so does write access to a file with the read-only attribute.
FileHandle CreateFile(std::wstring_view path, uint32_t access, uint32_t share, CreationDisposition disposition,
                      bool inheritable);

// Sequential transfer at the handle's position, which advances by the bytes moved. A read at the
// end of the file succeeds with 0 bytes. A write stores all bytes or fails; on failure `*written`
// still tells how many were stored (a full disk: ERROR_DISK_FULL).
bool ReadFile(FileHandle file, void* buffer, uint32_t count, uint32_t* read);
bool WriteFile(FileHandle file, const void* data, uint32_t count, uint32_t* written);

// Positioned transfer; the handle's position does not move.
bool ReadFileAt(FileHandle file, uint64_t offset, void* buffer, uint32_t count, uint32_t* read);
bool WriteFileAt(FileHandle file, uint64_t offset, const void* data, uint32_t count, uint32_t* written);

// Moves the position; a resulting position before the start fails with ERROR_NEGATIVE_SEEK.
bool SetFilePointer(FileHandle file, int64_t distance, SeekOrigin origin, uint64_t* newPosition);
bool GetFileSize(FileHandle file, uint64_t* size);
// Cuts or extends the file at the current position.
bool SetEndOfFile(FileHandle file);
// Fails with ERROR_ACCESS_DENIED on a handle without write access, as on Windows.
bool FlushFileBuffers(FileHandle file);
// Takes an exclusive lock on the whole file, without waiting, held until the handle is closed. It
// holds back only other lockers, not reads or writes. False with ERROR_LOCK_VIOLATION when another
// handle holds the lock.
bool TryLockFile(FileHandle file);
// Whether the handle's file is the file at `path` now (false when that path names no file or
// another one, as after a delete or a rename of either).
bool IsSameFile(FileHandle file, std::wstring_view path);
// Closes and frees the handle whatever the outcome; false reports a refused close.
bool CloseHandle(FileHandle file);

// A C stdio stream on a drive path (fopen of the host path), or null with the last error set.
FILE* OpenCFile(std::wstring_view path, const char* mode);

}  // namespace platform
