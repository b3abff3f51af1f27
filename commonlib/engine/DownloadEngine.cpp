#include "commonlib/engine/DownloadEngine.h"

#include <map>
#include <memory>
#include <string>

#include "commonlib/engine/DAEventRegistry.h"
#include "commonlib/engine/DownloadTask.h"
#include "commonlib/engine/DownloadTaskQueue.h"
#include "commonlib/http/HttpStack.h"
#include "commonlib/logger/Log.h"
#include "platform/timer.h"

namespace {

constexpr uint32_t kTickPeriodMs = 1000;

std::unique_ptr<CHttpStack> g_downloadStack;
bool g_stackOverridden = false;
CCurlWorkshop* g_testWorkshop = nullptr;
CHttpMgr* g_testManager = nullptr;
DownloadProgressCallback g_progressCb = nullptr;
DownloadDoneCallback g_doneCb = nullptr;
std::map<uint32_t, DownloadEndDetail> g_endDetails;

void EngineTimerProc(platform::HWND, platform::UINT, platform::UINT_PTR, uint32_t) {
  CDownloadTaskQueue::GetInstance()->OnTimer();
}

std::wstring WideOrEmpty(const wchar_t* text) { return text != nullptr ? std::wstring(text) : std::wstring(); }

}  // namespace

CCurlWorkshop* GetDownloadWorkshop() {
  if (g_stackOverridden) return g_testWorkshop;
  return g_downloadStack ? g_downloadStack->Workshop() : nullptr;
}

CHttpMgr* GetDownloadHttpMgr() {
  if (g_stackOverridden) return g_testManager;
  return g_downloadStack ? g_downloadStack->Manager() : nullptr;
}

void SetDownloadStackForTesting(CCurlWorkshop* workshop, CHttpMgr* manager) {
  g_stackOverridden = workshop != nullptr || manager != nullptr;
  g_testWorkshop = workshop;
  g_testManager = manager;
}

bool GetDownloadEndDetail(uint32_t id, DownloadEndDetail* out) {
  const auto it = g_endDetails.find(id);
  if (it == g_endDetails.end()) return false;
  if (out != nullptr) *out = it->second;
  return true;
}

void SetDownloadEndDetail(uint32_t id, const DownloadEndDetail& detail) { g_endDetails[id] = detail; }

void SetDownloadCallbacks(DownloadProgressCallback progress, DownloadDoneCallback done) {
  g_progressCb = progress;
  g_doneCb = done;
}

bool DownloadEngineInit() {
  if (!g_downloadStack) g_downloadStack = std::make_unique<CHttpStack>();
  g_downloadStack->Start();
  DAEventRegistry* const registry = DAEventRegistry::GetInstance();
  if (registry->m_started) return true;
  registry->m_timerId = platform::SetTimer(nullptr, 0, kTickPeriodMs, &EngineTimerProc);
  registry->AddListener(CDownloadTaskQueue::GetInstance());
  registry->m_started = true;
  LOGI(L"DownloadEngineInit 下载引擎已启动 timer:%u", static_cast<unsigned>(registry->m_timerId));
  return true;
}

bool DownloadEngineUninit() {
  DAEventRegistry* const registry = DAEventRegistry::GetInstance();
  if (registry->m_started) {
    platform::KillTimer(nullptr, registry->m_timerId);
    registry->m_timerId = 0;
    registry->RemoveListener(CDownloadTaskQueue::GetInstance());
    registry->m_started = false;
  }
  if (g_downloadStack) {
    g_downloadStack->Stop();
    g_downloadStack.reset();
  }
  return true;
}

bool DownloadFile(const wchar_t* fileHash, const wchar_t* cdnHost, const wchar_t* url, const wchar_t* ipList,
                  const wchar_t* targetPath, int64_t fileSize, int32_t id, int64_t cdnMinSpeed,
                  const char* statsJson) {
  auto* task = new CDownloadTask(WideOrEmpty(url), WideOrEmpty(ipList), WideOrEmpty(cdnHost), cdnMinSpeed,
                                 WideOrEmpty(targetPath), WideOrEmpty(fileHash), fileSize,
                                 statsJson != nullptr ? std::string(statsJson) : std::string());
  task->m_id = id;
  task->m_progressCb = g_progressCb;
  task->m_doneCb = g_doneCb;
  CDownloadTaskQueue* const queue = CDownloadTaskQueue::GetInstance();
  if (!queue->AddTask(task)) {
    // Two tasks on one target would write one data file; two with one hash would share every
    // event. The refused task never starts, and its record goes with it.
    LOGE(L"DownloadFile 拒绝重复的下载任务，不会启动 %s", task->GetFullPath());
    queue->RemoveRecord(task->Log().get());
    delete task;
    return false;
  }
  task->StartTask();
  return true;
}

bool CancelDownload(const wchar_t* url, const wchar_t* targetPath) {
  CDownloadTaskQueue::GetInstance()->CancelDownloadFile(WideOrEmpty(targetPath));
  return true;
}
