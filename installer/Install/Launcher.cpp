#include "installer/Install/Launcher.h"

#include "commonlib/logger/Log.h"
#include "commonlib/util/CommonUtils.h"
#include "platform/format.h"

namespace install {

std::wstring LauncherPathIn(const std::wstring& installDir) { return installDir + L"\\" + kLauncherName; }

std::wstring LauncherCommandLine(const std::wstring& exe, int32_t gameId) {
  return platform::StrFormat(L"%s -i \"%d\" -d", exe, gameId);
}

uint32_t LaunchLauncher(const std::wstring& exe, int32_t gameId) {
  const uint32_t result = RunProcess(exe, LauncherCommandLine(exe, gameId));
  if (result != 0) LOGE(L"LaunchLauncher() 启动失败 %s err:%u", exe, result);
  return result;
}

}  // namespace install
