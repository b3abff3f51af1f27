// How the install thread reports to its owner. The thread never touches a control or a member of
// the window: it calls this interface, whose implementation hands each event to the main thread.
// CInstallWindowReport does that by posting window messages, which the window handles in order on
// the main thread:
//   kInstallPhaseMessage (wParam: the phase)  set the status label to InstallPhaseText(phase);
//   kBadPackageMessage                        the package failed its check (already removed);
//   WM_CLOSE (wParam 1)                       the install is over: close with result 1.
// A message posted to a window that is gone is dropped, so a thread that outlives its window
// reports into nothing.
#pragma once

#include <cstdint>

#include "platform/messages.h"

namespace install {

inline constexpr platform::UINT kBadPackageMessage = platform::WM_USER + 100;  // 1124
inline constexpr platform::UINT kInstallPhaseMessage = platform::WM_USER + 101;

enum class InstallPhase : uint32_t {
  kInstalling = 1,  // the package checked out; it is being installed
};

// The status label's text for a phase ("安装中"); empty for an unknown one.
const wchar_t* InstallPhaseText(InstallPhase phase);

// Every call comes from the install thread.
class IInstallReport {
 public:
  virtual ~IInstallReport() = default;
  virtual void OnInstallPhase(InstallPhase phase) = 0;
  // The package failed its check; the thread ends without installing.
  virtual void OnBadPackage() = 0;
  // Every step is done (or failed silently): the program should end.
  virtual void OnInstallDone() = 0;
};

class CInstallWindowReport : public IInstallReport {
 public:
  explicit CInstallWindowReport(platform::HWND window) : m_window(window) {}
  void OnInstallPhase(InstallPhase phase) override;
  void OnBadPackage() override;
  void OnInstallDone() override;

 private:
  void Post(platform::UINT message, platform::WPARAM wParam);
  const platform::HWND m_window;
};

}  // namespace install
