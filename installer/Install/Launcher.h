// Starting the platform launcher for a game.
#pragma once

#include <cstdint>
#include <string>

namespace install {

inline constexpr const wchar_t* kLauncherName = L"VelkorLauncher.exe";

// The launcher in an install directory.
std::wstring LauncherPathIn(const std::wstring& installDir);

// `"<exe> -i "<gameId>" -d"`.
std::wstring LauncherCommandLine(const std::wstring& exe, int32_t gameId);

// Starts the launcher without waiting for it; 0 on success, else the system's error number.
uint32_t LaunchLauncher(const std::wstring& exe, int32_t gameId);

}  // namespace install
