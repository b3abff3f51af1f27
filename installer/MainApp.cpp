#include "installer/MainApp.h"

#include "commonlib/engine/DownloadEngine.h"
#include "commonlib/http/DNSThread.h"
#include "commonlib/http/HttpHousekeeping.h"
#include "commonlib/http/HttpStack.h"
#include "commonlib/logger/DownloadLog.h"
#include "commonlib/logger/Log.h"
#include "commonlib/nettool/NetToolThread.h"
#include "commonlib/thread/MainThreadDispatcher.h"
#include "installer/AppSettings.h"
#include "installer/CmdLineOptions.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/timer.h"

namespace {

// Process-wide state beside the object, main thread only.
bool g_dispatcherCreated = false;  // set by the first Init, never cleared
bool g_servicesStarted = false;
platform::UINT_PTR g_housekeepingTimer = 0;
CHttpHousekeeping g_housekeeping;  // counts the ticks of the 500 ms timer

constexpr platform::UINT_PTR kHousekeepingTimerId = 100;
constexpr uint32_t kHousekeepingPeriodMs = 500;

// Every 500 ms: the request time-outs on every second tick (the first included), the retry
// delays on every tick; the download stack first, then the command stack.
void HousekeepingTimerProc(platform::HWND, platform::UINT, platform::UINT_PTR, uint32_t) {
  g_housekeeping.Tick(GetDownloadHttpMgr(), GetCommandHttpMgr());
}

// The game id the main window holds: the product id of string 2 until the window's
// initialisation applies the command line's override, which happens after Init.
int GameIdOf(const CMainDlg* mainDlg) {
  // [main window] read the game id from it once the main window exists.
  (void)mainDlg;
  return platform::WideToInt32(LoadResString(IDS_PRODUCT_ID));
}

}  // namespace

StatIdentity BuildStatIdentity(int gameId) {
  StatIdentity identity{L"1.0.2|mini_downloader", L"mini_downloader"};
  if (gameId != 0) {
    identity.versionTag = platform::StrFormat(L"%s|GameId:%d", identity.versionTag, gameId);
    identity.nameTag = platform::StrFormat(L"%s|id:%d", identity.nameTag, gameId);
  }
  return identity;
}

CMainApp::CMainApp() = default;

void CMainApp::ApplyCommandLine(const CCmdLineOptions& options) {
  std::wstring value;
  if (options.GetFirst(L'i', value)) m_id = static_cast<int32_t>(static_cast<uint32_t>(platform::WideToInt64(value)));
  if (options.Has(L'h')) m_hide = true;
  if (options.GetFirst(L'r', value)) m_run = static_cast<uint32_t>(platform::WideToInt64(value)) != 0;
}

CMainApp* CMainApp::GetInstance() {
  static CMainApp instance;
  return &instance;
}

bool CMainApp::Init(CMainDlg* mainDlg) {
  m_pMainDlg = mainDlg;
  // The settings are read here, not earlier: a hidden second copy must write nothing at all.
  m_statUrl = GetDeploymentSettings().statUrl;
  if (!g_dispatcherCreated) {
    g_dispatcherCreated = true;
    InitMainThreadDispatcher();
    LOGI(L"CMainApp::Init() 主线程任务分发已创建");
  }
  if (!g_servicesStarted) {
    g_servicesStarted = true;
    // One test resolver serves the start-up lookup and the commands' retry ladder.
    const DeploymentSettings& settings = GetDeploymentSettings();
    if (settings.resolversOverridden) CDNSThread::SetServers(settings.resolvers);
    // The command stack: one CCurlWorkshop on its own thread and one CHttpMgr running at most 10
    // requests.
    CommandHttpStack().Start();
    // The download stack and the task queue's 1000 ms tick.
    DownloadEngineInit();
    g_housekeeping = CHttpHousekeeping();
    g_housekeepingTimer =
        platform::SetTimer(nullptr, kHousekeepingTimerId, kHousekeepingPeriodMs, &HousekeepingTimerProc);
    LOGI(L"CMainApp::Init() HTTP定时器 id:%u", static_cast<unsigned>(g_housekeepingTimer));
  }
  const StatIdentity identity = BuildStatIdentity(GameIdOf(m_pMainDlg));
  DownloadLog::GetInstance()->Init(m_statUrl, identity.versionTag, identity.nameTag);
  // The result handler runs later on this thread and picks the spare list.
  const CNetTestSettings* netTest = GetNetTestSettings();
  SubmitNSLookupVia(this, CNetToolThread::GetInstance(), platform::WideToAnsi(netTest->m_testHost),
                    platform::WideToAnsi(netTest->m_dnsServerList), &dns_result_callback);
  return true;
}

bool CMainApp::UnInit() {
  m_pMainDlg = nullptr;
  // The statistics reporter's pending records and its request go before the stacks.
  DownloadLog::GetInstance()->Destroy();
  if (g_servicesStarted) {
    // The command stack: the workshop thread is stopped and its multi handle freed, the manager
    // detaches what it holds and is deleted.
    CommandHttpStack().Stop();
    // The tick stops, the download stack goes.
    DownloadEngineUninit();
    platform::KillTimer(nullptr, g_housekeepingTimer);
    LOGI(L"CMainApp::UnInit() 停止HTTP定时器 id:%u", static_cast<unsigned>(g_housekeepingTimer));
    g_housekeepingTimer = 0;
    g_servicesStarted = false;
  }
  ShutdownMainThreadDispatcher();
  LOGI(L"CMainApp::UnInit() 主线程任务分发已关闭");
  return true;
}
