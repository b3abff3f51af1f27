// Finding an installed platform launcher: first the launcher's own INI in the common application
// data folder, then the machine's registry entry.
#pragma once

#include <string>

namespace install {

inline constexpr const wchar_t* kLauncherIniName = L"VelkorLaucher.ini";
inline constexpr const wchar_t* kLauncherIniSection = L"VelkorSite-Launcher";
inline constexpr const wchar_t* kLauncherIniKey = L"InstallPath";
inline constexpr const wchar_t* kLauncherRegistryKey = L"SOFTWARE\\VelkorLauncher";
inline constexpr const wchar_t* kLauncherRegistryValue = L"InstPath";

// True when a launcher executable was found; `launcherPath` is cleared first and then holds it.
// `installDir` becomes the launcher's directory: the INI entry's parent directory when the entry
// names something that exists, else the registry's directory as it stands, found or not. Left as
// it was when neither source names anything.
bool DetectInstalledLauncher(std::wstring& launcherPath, std::wstring& installDir);

}  // namespace install
