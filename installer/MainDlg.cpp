#include "installer/MainDlg.h"

#include "commonlib/logger/Log.h"
#include "commonlib/util/CommonUtils.h"
#include "commonlib/util/FileUtils.h"
#include "installer/AppSettings.h"
#include "installer/Install/Launcher.h"
#include "installer/Install/LauncherDetection.h"
#include "installer/Install/LocalPackage.h"
#include "installer/MainApp.h"
#include "installer/MsgBoxDlg.h"
#include "installer/ProgressBar.h"
#include "installer/Updater/Updater.h"
#include "platform/format.h"
#include "platform/message_loop.h"
#include "platform/text.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "uitoolkit/backend/Display.h"
#include "uitoolkit/controls/Container.h"
#include "uitoolkit/controls/Edit.h"
#include "uitoolkit/controls/Option.h"
#include "uitoolkit/controls/Progress.h"

namespace {

constexpr unsigned kFlashTimerId = 1;  // the toolkit's timer of the progress control
constexpr uint32_t kFlashPeriodMs = 20;
constexpr uint32_t kInstallPeriodMs = 100;
constexpr uint32_t kRetryPeriodMs = 5000;
constexpr uint32_t kOverwritePeriodMs = 100;

constexpr int kPageWelcome = 0;
constexpr int kPageDirectory = 1;
constexpr int kPageProgress = 2;

constexpr ui::Color kTipColor = 0xFF444343;
constexpr ui::Color kErrorColor = 0xFFFF0000;

constexpr wchar_t kNoticeTitle[] = L"提示信息";
constexpr wchar_t kDownloadingText[] = L"下载中";
constexpr wchar_t kInstallingText[] = L"安装中";
constexpr wchar_t kEmptyBarAttribute[] = L"file='progress_bk.png' corner='3,3,3,3'";

// Retry firings in hidden mode, over the whole process.
int g_hiddenRetryFirings = 0;

}  // namespace

CMainDlg::CMainDlg() : m_gameId(platform::WideToInt32(LoadResString(IDS_PRODUCT_ID))) {}

CMainDlg::~CMainDlg() {
  // The thread holds its own copies; destroying it only ends its waits.
  m_installThread.reset();
  if (m_pUpdater) m_pUpdater->Stop();
  m_pUpdater.reset();
}

bool CMainDlg::Hidden() const { return CMainApp::GetInstance()->m_hide; }

void CMainDlg::SetText(ui::Control* control, const std::wstring& text) {
  if (control) control->SetText(text);
}

void CMainDlg::InitWindow() {
  // Window icons and the system menu belong to the native frame, which this platform's
  // undecorated windows do not have.
  m_pTab = Find<ui::TabLayout>(L"tb_main");
  m_pInstall = FindControl(L"btn_install");
  m_pAgree = Find<ui::Option>(L"opt_agree");
  m_pAgreement = FindControl(L"btn_agreement");
  m_pFree = FindControl(L"btn_free");
  m_pEdit = Find<ui::Edit>(L"edit_input");
  m_pSelect = FindControl(L"btn_select");
  m_pTip = FindControl(L"lb_tip");
  m_pInstall2 = FindControl(L"btn_install2");
  m_pProgress = Find<ui::Progress>(L"pro_InstallProgress");
  m_pDownload = FindControl(L"lb_download");
  m_pSpeed = FindControl(L"lb_speed");
  m_pMin = FindControl(L"btn_min");
  m_pClose = FindControl(L"btn_close");
  if (m_pProgress) m_pProgress->SetTimer(kFlashTimerId, kFlashPeriodMs);

  CMainApp* app = CMainApp::GetInstance();
  if (app->m_id != 0) m_gameId = app->m_id;
  m_launcherFound = DetectInstalledLauncher();
  LOGI(L"CMainDlg::InitWindow() 启动器:%d %s 游戏id:%d", m_launcherFound ? 1 : 0, m_launcherPath, m_gameId);

  if (app->m_hide) {
    m_installDir = ChooseSilentInstallDir();
    m_downloadDir = m_installDir;
    LOGI(L"CMainDlg::InitWindow() 静默安装目录:%s", m_installDir);
    if (m_installDir.empty()) {
      Close(1);
      return;
    }
    StartUpdate();
    return;
  }
  if (m_launcherFound) platform::SetTimer(GetHWND(), kOverwriteTimerId, kOverwritePeriodMs, nullptr);
  else DetectLocalPackage();
}

platform::LRESULT CMainDlg::HandleMessage(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam,
                                          bool& handled) {
  handled = false;
  switch (message) {
    case platform::WM_CLOSE:
      LOGI(L"CMainDlg 主窗口收到关闭请求 result:%u", static_cast<unsigned>(wParam));
      return 0;
    case platform::WM_TIMER:
      if (wParam == kInstallTimerId) OnInstallTimer();
      else if (wParam == kRetryTimerId) OnRetryTimer();
      else if (wParam == kOverwriteTimerId) OnOverwriteTimer();
      else return 0;
      handled = true;
      return 0;
    case platform::WM_DESTROY:
      // An open exit question goes with its owner; its object is gone once its window is.
      if (m_pExitBox && platform::IsWindow(m_exitBoxHwnd)) m_pExitBox->Close(1);
      m_installThread.reset();
      if (m_pUpdater) {
        m_pUpdater->Stop();
        m_pUpdater.reset();
      }
      return 0;
    case install::kBadPackageMessage:
      handled = true;
      OnBadPackage();
      return 0;
    case install::kInstallPhaseMessage:
      handled = true;
      SetText(m_pDownload, install::InstallPhaseText(static_cast<install::InstallPhase>(wParam)));
      return 0;
    case kNetworkFailureMessage:
      handled = true;
      ShowNetworkError(static_cast<int>(wParam), static_cast<int>(lParam));
      return 0;
    default:
      return 0;
  }
}

void CMainDlg::OnFinalMessage(platform::HWND) {
  LOGI(L"CMainDlg::OnFinalMessage() 主窗口已销毁");
  platform::PostQuitMessage(0);
}

void CMainDlg::Notify(const ui::Notification& n) {
  const ui::Control* sender = n.sender;
  if (n.type == ui::notify::kTimer && sender && sender == m_pProgress) {
    RedrawProgress(true);
    return;
  }
  if (n.type == ui::notify::kClick && sender) {
    if (sender == m_pClose) return OnCloseClicked();
    if (sender == m_pInstall) return OnInstallClicked();
    if (sender == m_pFree) return OnCustomClicked();
    if (sender == m_pInstall2) return OnInstall2Clicked();
    if (sender == m_pSelect) return OnSelectClicked();
    if (sender == m_pAgreement) {
      ui::OpenUrl(GetDeploymentSettings().licenseUrl);
      return;
    }
  }
  if (n.type == ui::notify::kTextChanged && sender && sender == m_pEdit) {
    m_installDir = m_pEdit->GetText();
    ShowDirectoryCheck();
    return;
  }
  SkinWindow::Notify(n);
}

bool CMainDlg::AgreementGiven() {
  if (m_pAgree && m_pAgree->IsSelected()) return true;
  ShowMessageBox(GetHWND(), kNoticeTitle, L"未勾选“同意软件许可协议”。", L"", L"", L"", true, false);
  return false;
}

void CMainDlg::OnCloseClicked() {
  if (m_pExitBox) return;
  auto* box = new CMsgBoxDlg(L"是否退出安装？", L"退出安装", L"");
  if (!box->Create(GetHWND(), L"退出安装", ui::WS_POPUP)) {
    delete box;
    return;
  }
  m_pExitBox = box;
  m_exitBoxHwnd = box->GetHWND();
  box->CenterWindow();
  box->ShowWindow(true, true);
  if (ui::Control* close = box->FindControl(L"btn_close")) close->SetVisible(true);
  if (ui::Control* group = box->FindControl(L"hlt_btn_0")) group->SetVisible(true);
  const platform::UINT result = box->ShowModal();
  m_pExitBox = nullptr;
  m_exitBoxHwnd = nullptr;
  LOGI(L"CMainDlg 退出确认 result:%u", result);
  if (result == 1) Close(1);
}

void CMainDlg::OnInstallClicked() {
  if (!AgreementGiven()) return;
  m_installDir = ChooseInstallDir();
  if (m_installDir.empty()) {
    if (m_pTab) m_pTab->SelectItem(kPageDirectory);
    m_installDir = SuggestInstallDir();
    ShowInstallDir();
    return;
  }
  BeginInstallAttempt();
}

void CMainDlg::OnCustomClicked() {
  if (!AgreementGiven()) return;
  if (m_pTab) m_pTab->SelectItem(kPageDirectory);
  m_installDir = ChooseInstallDir();
  if (m_installDir.empty()) m_installDir = SuggestInstallDir();
  ShowInstallDir();
}

void CMainDlg::OnInstall2Clicked() {
  if (m_pEdit) m_installDir = m_pEdit->GetText();
  BeginInstallAttempt();
}

void CMainDlg::BeginInstallAttempt() {
  if (m_downloadDir.empty()) m_downloadDir = m_installDir;
  LOGI(L"CMainDlg 开始安装 安装目录:%s 下载目录:%s", m_installDir, m_downloadDir);
  if (m_pTab) m_pTab->SelectItem(kPageProgress);
  if (m_localPackage) OnDownloadFinish(0, 0, L"");
  else StartUpdate();
}

void CMainDlg::OnSelectClicked() {
  std::wstring folder = ui::BrowseForFolder(NativeSurface(), L"选择文件夹", m_installDir);
  if (folder.empty()) return;
  if (folder.back() == L'\\') folder.pop_back();
  if (folder.empty()) return;
  m_installDir = folder + L"\\" + install::kSilentFolder;
  ShowInstallDir();
}

void CMainDlg::ShowInstallDir() {
  SetText(m_pEdit, m_installDir);
  // Text set from code notifies nobody here; the page shows the check of what it proposes as it
  // shows that of a typed directory.
  ShowDirectoryCheck();
}

void CMainDlg::ShowDirectoryCheck() {
  uint64_t freeSpace = 0;
  const install::InstallDirCheck check = CheckInstallDir(m_installDir, &freeSpace);
  std::wstring text;
  switch (check) {
    case install::kInstallDirOk:
      text = platform::StrFormat(L"所需磁盘空间：%s          可用磁盘空间：%s", FormatSize(install::kRequiredSpace, false),
                                 FormatSize(freeSpace, false));
      break;
    case install::kInstallDirInvalid:
      text = L"安装目录无效，请选择正确的目录";
      break;
    case install::kInstallDirNoSpace:
      text = L"该磁盘剩余空间不足，请选择其他目录安装";
      break;
    case install::kInstallDirNotWritable:
      text = L"该目录权限不足，请选择其他目录安装";
      break;
  }
  if (m_pTip) {
    m_pTip->SetText(text);
    m_pTip->SetTextColor(check == install::kInstallDirOk ? kTipColor : kErrorColor);
  }
  if (m_pInstall2) m_pInstall2->SetEnabled(check == install::kInstallDirOk);
}

void CMainDlg::OnInstallTimer() {
  const int32_t counter = m_progress->Tick();
  if (counter <= install::kInstallCounterEnd) {
    SetText(m_pSpeed, platform::StrFormat(L"%d%%", install::InstallPercent(counter, m_localPackage)));
    RedrawProgress(false);
  } else {
    platform::KillTimer(GetHWND(), kInstallTimerId);
  }
}

void CMainDlg::OnRetryTimer() {
  if (Hidden() && ++g_hiddenRetryFirings > kHiddenRetryLimit) {
    LOGI(L"CMainDlg 静默模式重试次数已用完");
    Close(1);
  }
  if (!m_pUpdater) return;
  platform::KillTimer(GetHWND(), kRetryTimerId);
  m_pUpdater->m_nextUrl = 0;
  if (!m_pUpdater->m_urls.empty()) m_pUpdater->RequestInfo();
}

void CMainDlg::OnOverwriteTimer() {
  platform::KillTimer(GetHWND(), kOverwriteTimerId);
  const platform::UINT result = ShowMessageBox(GetHWND(), kNoticeTitle, L"您已经安装了VelkorTessary，是否覆盖安装？",
                                               L"覆盖安装", L"直接启动", L"", false, true);
  if (result == 2 && LaunchLauncher(m_launcherPath) == 0) {
    Close(1);
    return;
  }
  DetectLocalPackage();
  SendNotify(m_pFree, ui::notify::kClick);
}

void CMainDlg::OnBadPackage() {
  platform::KillTimer(GetHWND(), kInstallTimerId);
  if (Hidden()) {
    Close(1);
    return;
  }
  const platform::UINT result =
      ShowMessageBox(GetHWND(), kNoticeTitle, L"文件已损坏，请重新下载！", L"重新下载", L"退出安装", L"", true, true);
  if (result == 1) StartUpdate();
  else Close(1);
}

void CMainDlg::StartUpdate() {
  platform::KillTimer(GetHWND(), kRetryTimerId);
  m_errorBoxArmed = true;
  SetText(m_pDownload, kDownloadingText);
  SetText(m_pSpeed, L"");
  if (m_pProgress) m_pProgress->SetBkImage(kEmptyBarAttribute);
  if (m_pUpdater) {
    m_pUpdater->Stop();
    m_pUpdater.reset();
  }
  m_pUpdater = std::make_unique<CUpdater>(m_downloadDir, this);
  m_pUpdater->CreateHelperWindow();
  if (CreateDir(m_downloadDir)) m_pUpdater->RequestInfo();
  else LOGE(L"CMainDlg::StartUpdate() 下载目录创建失败 %s", m_downloadDir);
}

void CMainDlg::OnProgress(int64_t total, int64_t completed, int64_t speed) {
  LOGI(L"CMainDlg::OnProgress() total:%lld completed:%lld speed:%lld", total, completed, speed);
  m_errorBoxArmed = true;
  m_total = total;
  m_completed = completed;
  const uint64_t left = total > completed ? static_cast<uint64_t>(total - completed) : 0;
  SetText(m_pSpeed, platform::StrFormat(L"剩余%s @ %s/s", FormatSize(left, false),
                                        FormatSize(static_cast<uint64_t>(speed > 0 ? speed : 0), false)));
  RedrawProgress(false);
}

void CMainDlg::OnDownloadFinish(int type, int code, const std::wstring&) {
  if (type != 0 || code != 0) {
    NetworkFailure(type, code);
    return;
  }
  m_total = 1;
  m_completed = 1;
  SetText(m_pDownload, kInstallingText);
  SetText(m_pSpeed, L"90%");
  RedrawProgress(false);
  StartInstall();
}

void CMainDlg::OnInfoResult(int type, int code, const std::wstring&, const std::wstring& md5) {
  m_expectedMd5 = md5;
  if (type != 0) NetworkFailure(type, code);
}

void CMainDlg::NetworkFailure(int type, int code) {
  LOGW(L"CMainDlg 网络错误 type:%d code:%d", type, code);
  platform::SetTimer(GetHWND(), kRetryTimerId, kRetryPeriodMs, nullptr);
  if (!m_errorBoxArmed || Hidden()) return;
  m_errorBoxArmed = false;
  platform::PostMessage(GetHWND(), kNetworkFailureMessage, static_cast<platform::WPARAM>(type),
                        static_cast<platform::LPARAM>(code));
}

void CMainDlg::ShowNetworkError(int type, int code) {
  const platform::UINT result = ShowMessageBox(GetHWND(), kNoticeTitle, L"连接超时，请检查网络是否正常", L"重试", L"",
                                               platform::StrFormat(L"code:%d type:%d", code, type), true, false);
  if (result == 1) StartUpdate();
}

void CMainDlg::RedrawProgress(bool step) {
  if (!m_pProgress) return;
  const ui::Rect& pos = m_pProgress->GetPos();
  const int width = pos.right - pos.left;
  const int value =
      progressbar::FillWidth(width, m_total, m_completed, m_progress->Counter(), m_localPackage);
  m_flashPos = progressbar::NextFlashPos(m_flashPos, width, step);
  m_pProgress->SetBkImage(progressbar::Attribute(width, value, m_flashPos));
  m_pProgress->SetValue(value);
}

// --- install and launch

bool CMainDlg::DetectInstalledLauncher() { return install::DetectInstalledLauncher(m_launcherPath, m_installDir); }

bool CMainDlg::DetectLocalPackage() {
  return install::DetectLocalPackage(GetModuleDirectory(), m_downloadDir, m_localPackage);
}

std::wstring CMainDlg::ChooseInstallDir() { return install::ChooseInstallDir(m_installDir); }

std::wstring CMainDlg::SuggestInstallDir() { return install::SuggestInstallDir(); }

std::wstring CMainDlg::ChooseSilentInstallDir() { return install::ChooseSilentInstallDir(GetModuleDirectory()); }

install::InstallDirCheck CMainDlg::CheckInstallDir(const std::wstring& dir, uint64_t* freeSpace) {
  return install::CheckInstallDir(dir, freeSpace);
}

uint32_t CMainDlg::LaunchLauncher(const std::wstring& exe) { return install::LaunchLauncher(exe, m_gameId); }

void CMainDlg::StartInstall() {
  // A thread left from a bad package has ended; a new download installs afresh.
  m_installThread.reset();
  m_progress->Reset();
  platform::SetTimer(GetHWND(), kInstallTimerId, kInstallPeriodMs, nullptr);
  m_packagePath = install::PackagePathIn(m_downloadDir);
  install::InstallJob job;
  job.packagePath = m_packagePath;
  job.installDir = m_installDir;
  job.expectedMd5 = m_expectedMd5;
  job.packageId = LoadResString(IDS_PACKAGE_ID);
  job.launcherFound = m_launcherFound;
  job.run = CMainApp::GetInstance()->m_run;
  job.gameId = m_gameId;
  job.verify = &CUpdater::VerifyPackage;
  m_installThread = std::make_unique<install::CInstallThread>(
      std::move(job), m_progress, std::make_shared<install::CInstallWindowReport>(GetHWND()));
  m_installThread->StartThread();
}
