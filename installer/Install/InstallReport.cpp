#include "installer/Install/InstallReport.h"

#include "commonlib/logger/Log.h"
#include "platform/errors.h"
#include "platform/window.h"

namespace install {

const wchar_t* InstallPhaseText(InstallPhase phase) {
  switch (phase) {
    case InstallPhase::kInstalling:
      return L"安装中";
  }
  return L"";
}

void CInstallWindowReport::Post(platform::UINT message, platform::WPARAM wParam) {
  if (!platform::PostMessage(m_window, message, wParam, 0))
    LOGE(L"[UM] post message failed:%u", platform::GetLastError());
}

void CInstallWindowReport::OnInstallPhase(InstallPhase phase) {
  Post(kInstallPhaseMessage, static_cast<platform::WPARAM>(phase));
}

void CInstallWindowReport::OnBadPackage() { Post(kBadPackageMessage, 0); }

void CInstallWindowReport::OnInstallDone() { Post(platform::WM_CLOSE, 1); }

}  // namespace install
