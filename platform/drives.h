// The drive map. Inside the system paths are Windows paths (drive letter, backslashes); the
// platform maps drive letters to host directories through a drive table. By default C: is a
// per-user prefix directory ($XDG_DATA_HOME/vkqx/drive_c, or ~/.local/share/vkqx/drive_c) and Z:
// the host root. The environment variable VKQX_DRIVES replaces the whole table:
//   VKQX_DRIVES='C:=/tmp/t/c;D:=/tmp/t/d|removable'
// (an optional "|type" names the drive type: fixed, removable, remote, cdrom, ramdisk).
// Every file, directory, free-space, drive-type and module-path call goes through this map.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum DriveType : uint32_t {
  DRIVE_UNKNOWN = 0,
  DRIVE_NO_ROOT_DIR = 1,
  DRIVE_REMOVABLE = 2,
  DRIVE_FIXED = 3,
  DRIVE_REMOTE = 4,
  DRIVE_CDROM = 5,
  DRIVE_RAMDISK = 6,
};

struct Drive {
  wchar_t letter;    // upper case
  std::string root;  // host directory, no trailing slash ("" for the host root "/")
  DriveType type;
};

// The table, ordered by letter.
std::vector<Drive> GetDrives();

// "C:\\Games\\x" -> "<root of C:>/Games/x". Forward slashes count as separators; "." and ".."
// are resolved lexically and never climb above the drive's root. A path without a drive is a
// relative host path; a path of an unknown drive, or a UNC path, has no host form (nullopt).
std::optional<std::string> ToHostPath(std::wstring_view windowsPath);

// The drive path of a host path: the longest drive root that contains it wins. Relative host
// paths are made absolute first. Empty when no drive contains the path.
std::wstring ToDrivePath(std::string_view hostPath);

// "C:\\", "D:\\", ... in table order.
std::vector<std::wstring> GetLogicalDriveStrings();

// The type of the drive of `rootPath` ("C:\\" or "C:"); DRIVE_NO_ROOT_DIR when it is not in the
// table.
DriveType GetDriveType(std::wstring_view rootPath);

// Reads VKQX_DRIVES again (tests set it per case).
void ReloadDrivesForTesting();

}  // namespace platform
