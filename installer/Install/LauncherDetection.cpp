#include "installer/Install/LauncherDetection.h"

#include "commonlib/logger/Log.h"
#include "commonlib/util/FileUtils.h"
#include "installer/Install/Launcher.h"
#include "platform/ini_file.h"
#include "platform/registry_store.h"
#include "platform/shell_folders.h"

namespace install {

namespace {

constexpr uint32_t kIniValueChars = 2048;
constexpr uint32_t kRegistryValueBytes = 4096;

}  // namespace

bool DetectInstalledLauncher(std::wstring& launcherPath, std::wstring& installDir) {
  launcherPath.clear();
  const std::wstring appData = platform::GetSpecialFolderPath(platform::CSIDL_COMMON_APPDATA);
  if (appData.empty()) return false;

  const std::wstring fromIni = platform::ReadPrivateProfileString(
      kLauncherIniSection, kLauncherIniKey, L"", appData + L"\\" + kLauncherIniName, kIniValueChars);
  if (!fromIni.empty() && FileExists(fromIni)) {
    launcherPath = fromIni;
    installDir = GetParentDirectory(fromIni);
    LOGI(L"DetectInstalledLauncher() INI %s", launcherPath);
    return true;
  }

  std::wstring fromRegistry;
  if (!platform::RegQueryStringValue(platform::RegistryRoot::kLocalMachine, kLauncherRegistryKey,
                                     kLauncherRegistryValue, &fromRegistry, kRegistryValueBytes))
    return false;
  installDir = fromRegistry;
  if (!FileExists(fromRegistry)) return false;
  const bool separated = !fromRegistry.empty() && (fromRegistry.back() == L'\\' || fromRegistry.back() == L'/');
  const std::wstring exe = separated ? fromRegistry + kLauncherName : LauncherPathIn(fromRegistry);
  if (!FileExists(exe)) return false;
  launcherPath = exe;
  LOGI(L"DetectInstalledLauncher() 注册表 %s", launcherPath);
  return true;
}

}  // namespace install
