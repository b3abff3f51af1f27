// Windows sharing modes between the handles of this layer, kept as open-file-description locks
// on a few bytes far past any real data. Every handle takes a shared lock on a byte for each
// access it has and for each kind of sharing it refuses; a new handle conflicts when another
// handle refuses what it asks for, or has what it refuses. Locks are taken before they are tested,
// so of two racing opens at least one sees the other (both may fail; never both succeed).
// The locks are advisory: programs that do not use this layer are not held back.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Takes the locks of a handle with `access` (GENERIC_READ/GENERIC_WRITE bits) and `share`
// (FILE_SHARE_* bits) on `lockFd`, a descriptor open for reading. False, with
// ERROR_SHARING_VIOLATION as the last error, when another handle conflicts; the caller then closes
// the descriptor, which drops what was taken. A file system without such locks shares freely.
bool AcquireShareLocks(int lockFd, uint32_t access, uint32_t share);

// Whether a handle that refuses delete sharing holds the file at `hostPath` (not following a
// final symbolic link). Deleting, renaming or replacing such a file fails on Windows.
bool IsHeldWithoutDeleteSharing(const std::string& hostPath);

}  // namespace platform
