// Shared by the file and file-system calls of this layer: the host path of a drive path with the
// Windows error for a path that has none, and the Windows error for a failed host call.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The host path of `path`, or nullopt with the last error set: ERROR_PATH_NOT_FOUND for an empty
// path, an unknown drive or a network path; ERROR_INVALID_NAME for a name with one of the
// characters Windows refuses in file names (< > : " | ? * and control characters);
// ERROR_FILENAME_EXCED_RANGE for a host path the host cannot take whole (PATH_MAX).
std::optional<std::string> ResolveHostPath(std::wstring_view path);

// Sets the last error from errno after a failed call on `hostPath`. A missing entry is
// ERROR_FILE_NOT_FOUND when its directory exists and ERROR_PATH_NOT_FOUND when it does not.
// Returns the error.
uint32_t SetLastErrorForPath(int errnoValue, const std::string& hostPath);

// The drive root's host directory for `path` ("X:..." or, for a rooted path, C:), or nullopt.
std::optional<std::string> HostDriveRoot(std::wstring_view path);

}  // namespace platform
