// The shell's special folders the system asks for, on drive C: of the drive table (so a test's
// table gives each case its own).
#pragma once

#include <string>

namespace platform {

inline constexpr int CSIDL_COMMON_APPDATA = 35;  // C:\ProgramData

// The folder's drive path without a trailing separator, created when it is missing (Windows
// always has it); empty for a folder this platform does not know, or when it cannot be created.
std::wstring GetSpecialFolderPath(int csidl);

}  // namespace platform
