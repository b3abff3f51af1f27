// CMainDlg: the installer's main window. Three pages in one tab layout (welcome, directory,
// progress); it takes the user's choices, starts and restarts install attempts (CUpdater) and
// hears their events, shows the questions and notices, drives the install timer and the progress
// bar, and starts the install. Closing it ends the program. In hidden mode the window exists but
// is never shown, and the same logic runs without any box.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "installer/Install/InstallDir.h"
#include "installer/Install/InstallProgress.h"
#include "installer/Install/InstallThread.h"
#include "installer/Updater/IGameEventListener.h"
#include "uitoolkit/window/SkinWindow.h"

class CMsgBoxDlg;
class CUpdater;

namespace ui {
class Control;
class Edit;
class Option;
class Progress;
class TabLayout;
}  // namespace ui

// The window's own timers.
inline constexpr platform::UINT_PTR kInstallTimerId = 11;    // 100 ms: install counter
inline constexpr platform::UINT_PTR kRetryTimerId = 12;      // 5000 ms: retry after a failure
inline constexpr platform::UINT_PTR kOverwriteTimerId = 13;  // 100 ms: ask once about an install found
// The network error box is shown from the window's own message, never inside the updater's
// callback: "重试" replaces the updater, which must not happen while it is on the stack.
inline constexpr platform::UINT kNetworkFailureMessage = platform::WM_USER + 102;
// Hidden mode gives up after this many retry firings.
inline constexpr int kHiddenRetryLimit = 10;

class CMainDlg : public ui::SkinWindow, public IGameEventListener {
 public:
  CMainDlg();
  ~CMainDlg() override;

  std::wstring GetWindowClassName() const override { return L"InstallPackages"; }
  std::wstring GetSkinFile() override { return L"InstallPackages.xml"; }

  // Begins a new install attempt: a new updater asks for the descriptor.
  void StartUpdate();

  // IGameEventListener (main thread)
  void OnProgress(int64_t total, int64_t completed, int64_t speed) override;
  void OnDownloadFinish(int type, int code, const std::wstring& message) override;
  void OnInfoResult(int type, int code, const std::wstring& version, const std::wstring& md5) override;

  // Install and launch: one-line calls into installer/Install/.
  bool DetectInstalledLauncher();
  bool DetectLocalPackage();
  std::wstring ChooseInstallDir();
  std::wstring SuggestInstallDir();
  std::wstring ChooseSilentInstallDir();
  install::InstallDirCheck CheckInstallDir(const std::wstring& dir, uint64_t* freeSpace);
  void StartInstall();
  uint32_t LaunchLauncher(const std::wstring& exe);

  // Recomputes and redraws the bar; with `step` the flash moves first.
  void RedrawProgress(bool step);

  int32_t GameId() const { return m_gameId; }

  // Install and launch
  std::wstring m_installDir;
  std::wstring m_launcherPath;
  std::wstring m_downloadDir;
  int32_t m_gameId = 0;
  std::wstring m_packagePath;
  bool m_launcherFound = false;
  bool m_localPackage = false;
  std::wstring m_expectedMd5;
  // The install counter and the launching flag, shared with the install thread.
  const std::shared_ptr<install::CInstallProgress> m_progress = std::make_shared<install::CInstallProgress>();
  // Progress rendering
  int64_t m_total = 0;
  int64_t m_completed = 0;
  int32_t m_flashPos = 0;
  // The window's own
  CMsgBoxDlg* m_pExitBox = nullptr;
  std::unique_ptr<CUpdater> m_pUpdater;
  bool m_errorBoxArmed = true;

 protected:
  void InitWindow() override;
  platform::LRESULT HandleMessage(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam,
                                  bool& handled) override;
  void Notify(const ui::Notification& notification) override;
  void OnFinalMessage(platform::HWND hwnd) override;

 private:
  bool Hidden() const;
  void OnInstallTimer();
  void OnRetryTimer();
  void OnOverwriteTimer();
  void OnBadPackage();
  void OnCloseClicked();
  void OnInstallClicked();
  void OnCustomClicked();
  void OnInstall2Clicked();
  void OnSelectClicked();
  // Into the progress page: the download directory fixed, then the local package or a download.
  void BeginInstallAttempt();
  void ShowInstallDir();
  void ShowDirectoryCheck();
  void NetworkFailure(int type, int code);
  void ShowNetworkError(int type, int code);
  bool AgreementGiven();
  void SetText(ui::Control* control, const std::wstring& text);

  ui::TabLayout* m_pTab = nullptr;
  ui::Control* m_pInstall = nullptr;
  ui::Option* m_pAgree = nullptr;
  ui::Control* m_pAgreement = nullptr;
  ui::Control* m_pFree = nullptr;
  ui::Edit* m_pEdit = nullptr;
  ui::Control* m_pSelect = nullptr;
  ui::Control* m_pTip = nullptr;
  ui::Control* m_pInstall2 = nullptr;
  ui::Progress* m_pProgress = nullptr;
  ui::Control* m_pDownload = nullptr;
  ui::Control* m_pSpeed = nullptr;
  ui::Control* m_pMin = nullptr;
  ui::Control* m_pClose = nullptr;
  platform::HWND m_exitBoxHwnd = nullptr;
  std::unique_ptr<install::CInstallThread> m_installThread;
};
