// Where to install: the proposal for the interactive flow, the fallback text of the directory page,
// the directory of hidden mode, and the check of a typed directory. The window keeps the chosen
// directory; these functions only look at the machine.
#pragma once

#include <cstdint>
#include <string>

namespace install {

// A directory must have more than this free to be proposed, and at least this to be accepted.
inline constexpr uint64_t kRequiredSpace = 157286400;  // 150 MiB
// The folder proposed under a drive root, and the one made beside the program's folder.
inline constexpr const wchar_t* kDefaultSubFolder = L"Velkor网络\\VelkorTessary";
inline constexpr const wchar_t* kSilentFolder = L"VelkorTessary";
// The drive roots proposed, in this order.
inline constexpr const wchar_t* kProposedRoots[] = {L"D:\\", L"E:\\", L"C:\\", L"F:\\", L"G:\\"};

enum InstallDirCheck : int {
  kInstallDirOk = 0,
  kInstallDirInvalid = 1,
  kInstallDirNoSpace = 2,
  kInstallDirNotWritable = 3,
};

// `current` (the detected launcher's directory) when it is writable with more than the required
// space free, else the first proposed root's default folder that is; empty when none is.
std::wstring ChooseInstallDir(const std::wstring& current);

// The default folder on the first proposed root that exists, without any test of space or rights;
// empty when none exists.
std::wstring SuggestInstallDir();

// For hidden mode: the folder beside `programDir` when it is writable with more than the required
// space free, else the default folder on the first fixed drive where it is writable; empty when
// none is. A program at a drive's root has no folder beside its own.
std::wstring ChooseSilentInstallDir(const std::wstring& programDir);

// Whether `dir` will do, with the reason when not; `freeSpace` receives the free bytes of its drive
// when the answer is kInstallDirOk.
InstallDirCheck CheckInstallDir(const std::wstring& dir, uint64_t* freeSpace);

}  // namespace install
