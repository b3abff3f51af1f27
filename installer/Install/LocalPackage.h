// A client folder that already holds the package: when "vkmain.dll" lies beside the program, the
// package is downloaded into (or, when "vkinstaller.exe" is there too, taken from) the program's
// own folder.
#pragma once

#include <string>

namespace install {

inline constexpr const wchar_t* kClientMarker = L"vkmain.dll";
inline constexpr const wchar_t* kPackageName = L"vkinstaller.exe";

// The package path in a download directory.
std::wstring PackagePathIn(const std::wstring& downloadDir);

// True when `programDir` is a client folder; then `downloadDir` becomes `programDir` and
// `localPackage` is set when the package lies there. Nothing is changed otherwise.
bool DetectLocalPackage(const std::wstring& programDir, std::wstring& downloadDir, bool& localPackage);

}  // namespace install
