// Reserving a file's space on its volume. Windows gives a file its clusters when its end is moved
// out; a POSIX file system makes a sparse file instead and fails only when the data arrives. This
// call reserves the space up front, so that a full disk is reported when the file is sized.
#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

// Makes sure the blocks for the first `length` bytes of the existing file at `path` (a drive path)
// are allocated; the file grows to `length` if it is shorter, its contents stay. A file system that
// cannot reserve space succeeds without doing anything. False with the last error set on failure
// (ERROR_DISK_FULL when the volume has no room).
bool AllocateFileSpace(std::wstring_view path, uint64_t length);

}  // namespace platform
