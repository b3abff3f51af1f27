#include "installer/Install/InstallDir.h"

#include "commonlib/util/FileUtils.h"
#include "platform/drives.h"

namespace install {

namespace {

bool HasRoomFor(const std::wstring& dir) {
  return IsDirectoryWritable(dir) && GetDiskFreeSpace(dir) > kRequiredSpace;
}

std::wstring DefaultFolderOn(const std::wstring& root) { return root + kDefaultSubFolder; }

}  // namespace

std::wstring ChooseInstallDir(const std::wstring& current) {
  if (HasRoomFor(current)) return current;
  for (const wchar_t* root : kProposedRoots) {
    const std::wstring candidate = DefaultFolderOn(root);
    if (HasRoomFor(candidate)) return candidate;
  }
  return std::wstring();
}

std::wstring SuggestInstallDir() {
  for (const wchar_t* root : kProposedRoots) {
    if (FileExists(root)) return DefaultFolderOn(root);
  }
  return std::wstring();
}

std::wstring ChooseSilentInstallDir(const std::wstring& programDir) {
  // Without a parent the candidate would be "\VelkorTessary", a directory on no named drive.
  const std::wstring parent = GetParentDirectory(programDir);
  if (!parent.empty()) {
    const std::wstring beside = parent + L"\\" + kSilentFolder;
    if (HasRoomFor(beside)) return beside;
  }
  for (const std::wstring& root : platform::GetLogicalDriveStrings()) {
    if (platform::GetDriveType(root) != platform::DRIVE_FIXED) continue;
    const std::wstring candidate = DefaultFolderOn(root);
    if (IsDirectoryWritable(candidate)) return candidate;
  }
  return std::wstring();
}

InstallDirCheck CheckInstallDir(const std::wstring& dir, uint64_t* freeSpace) {
  if (!IsValidInstallPath(dir) || !DriveExists(dir)) return kInstallDirInvalid;
  const uint64_t free = GetDiskFreeSpace(dir);
  if (free < kRequiredSpace) return kInstallDirNoSpace;
  if (!IsDirectoryWritable(dir)) return kInstallDirNotWritable;
  if (freeSpace != nullptr) *freeSpace = free;
  return kInstallDirOk;
}

}  // namespace install
