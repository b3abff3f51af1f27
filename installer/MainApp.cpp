#include "installer/MainApp.h"

#include "commonlib/engine/DownloadEngine.h"
#include "commonlib/http/HttpHousekeeping.h"
#include "commonlib/http/HttpStack.h"
#include "commonlib/logger/Log.h"
#include "commonlib/thread/MainThreadDispatcher.h"
#include "platform/format.h"
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

// The game id the main window holds (the product id until its initialisation applies an
// override).
int GameIdOf(const CMainDlg* mainDlg) {
  // [main window] read the game id from it once the main window exists.
  (void)mainDlg;
  return 0;
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

CMainApp::CMainApp() {
  // [settings] m_statUrl: the statistics server's upload URL, from the settings module.
}

CMainApp* CMainApp::GetInstance() {
  static CMainApp instance;
  return &instance;
}

bool CMainApp::Init(CMainDlg* mainDlg) {
  m_pMainDlg = mainDlg;
  if (!g_dispatcherCreated) {
    g_dispatcherCreated = true;
    InitMainThreadDispatcher();
    LOGI(L"CMainApp::Init() 主线程任务分发已创建");
  }
  if (!g_servicesStarted) {
    g_servicesStarted = true;
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
  // [statistics reporter] initialise it with m_statUrl and the identity's two tags.
  (void)identity;
  // [lookup] SubmitNSLookupVia with this object, the CNetToolThread singleton, the network-test
  // host and its resolver list (as ANSI text); the result handler runs later on this thread.
  return true;
}

bool CMainApp::UnInit() {
  m_pMainDlg = nullptr;
  // [statistics reporter] shut it down: its pending report and its request are deleted.
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
