#include "installer/Install/LocalPackage.h"

#include "commonlib/util/FileUtils.h"

namespace install {

std::wstring PackagePathIn(const std::wstring& downloadDir) { return downloadDir + L"\\" + kPackageName; }

bool DetectLocalPackage(const std::wstring& programDir, std::wstring& downloadDir, bool& localPackage) {
  if (programDir.empty() || !FileExists(programDir + L"\\" + kClientMarker)) return false;
  downloadDir = programDir;
  if (FileExists(PackagePathIn(programDir))) localPackage = true;
  return true;
}

}  // namespace install
