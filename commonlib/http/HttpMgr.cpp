#include "commonlib/http/HttpMgr.h"

#include <algorithm>
#include <vector>

#include "commonlib/http/CurlBase.h"
#include "commonlib/http/HttpBase.h"
#include "commonlib/logger/Log.h"
#include "platform/clock.h"

namespace {
// Numbers the registrations of every manager of the process. Main thread only.
uint32_t g_requestCounter = 0;
}  // namespace

CHttpBase* CHttpMgr::FindByTransfer(const CRefPtr<CCurlBase>& transfer) const {
  if (!transfer) return nullptr;
  for (CHttpBase* request : requests) {
    if (request->transfer && static_cast<CCurlBase*>(request->transfer.get()) == transfer.get()) return request;
  }
  return nullptr;
}

void CHttpMgr::OnTransferDone(const CRefPtr<CCurlBase>& transfer, int curlCode) {
  if (CHttpBase* request = FindByTransfer(transfer)) request->Done(ET_CURL, curlCode);
}

void CHttpMgr::OnRecvProgress(const CRefPtr<CCurlBase>& transfer, unsigned int bytes) {
  if (CHttpBase* request = FindByTransfer(transfer)) request->OnProgress(static_cast<int32_t>(bytes));
}

void CHttpMgr::OnSendProgress(const CRefPtr<CCurlBase>& transfer, unsigned int bytes) {
  if (CHttpBase* request = FindByTransfer(transfer)) request->OnProgress(static_cast<int32_t>(bytes));
}

void CHttpMgr::OnHeaders(const CRefPtr<CCurlBase>& transfer, int httpCode, const ProtoValue& headers) {
  if (CHttpBase* request = FindByTransfer(transfer)) request->OnHeaders(httpCode, headers);
}

void CHttpMgr::OnTransferRemoved(const CRefPtr<CCurlBase>& transfer, int) {
  if (CHttpBase* request = FindByTransfer(transfer)) request->OnTransferRemoved();
}

void CHttpMgr::OnTransferAdded(const CRefPtr<CCurlBase>& transfer, int) {
  if (CHttpBase* request = FindByTransfer(transfer)) request->OnTransferAdded();
}

std::pair<uint32_t, uint32_t> CHttpMgr::Add(CHttpBase* request) {
  if (Contains(request)) {
    LOGI(L"http请求重复添加 url:%s", request->GetUrl());
    return {request->requestId, request->addTick};
  }
  request->requestId = ++g_requestCounter;
  request->addTick = platform::GetTickCount();
  request->manager = this;
  request->managerSerial = Serial();
  requests.push_back(request);
  if (!request->delayed) Schedule();
  return {request->requestId, request->addTick};
}

bool CHttpMgr::Remove(CHttpBase* request) {
  const bool wasScheduled = request->scheduled;
  requests.remove(request);
  request->scheduled = false;
  if (wasScheduled) {
    --runningCount;
    Schedule();
  }
  return true;
}

int CHttpMgr::CountScheduled() const {
  return static_cast<int>(std::count_if(requests.begin(), requests.end(), [](const CHttpBase* r) { return r->scheduled; }));
}

void CHttpMgr::Schedule() {
  const int total = static_cast<int>(requests.size());
  if (runningCount > maxRunning || runningCount > total) {
    LOGI(L"CHttpMgr::Schedule() 正在运行的任务数计算出错，重新计算中 running:%d max:%d total:%d", runningCount,
         maxRunning, total);
    runningCount = CountScheduled();
  }
  LOGI(L"CHttpMgr::Schedule() 调度任务 running:%d max:%d total:%d", runningCount, maxRunning, total);
  if (runningCount >= maxRunning) {
    LOGI(L"CHttpMgr::Schedule() 任务数超标 running:%d max:%d total:%d", runningCount, maxRunning, total);
    return;
  }
  bool rescan = true;
  while (rescan) {
    rescan = false;
    for (CHttpBase* request : requests) {
      if (request->scheduled || request->started || request->delayed) continue;
      const HttpOutcome outcome = request->Start();
      const bool ok = outcome.first == ET_OK && outcome.second == 0;
      if (ok) {
        request->scheduled = true;
        ++runningCount;
      } else if (outcome.second == kUserNothingToTransfer) {
        request->Done(ET_OK, 0);
      } else {
        request->Done(outcome.first, outcome.second);
      }
      if (runningCount >= maxRunning) return;
      if (!ok) {
        LOGI(L"CHttpMgr::Schedule 有调度任务开始失败，重新调度");
        rescan = true;  // the failed request's Done may have changed the list
        break;
      }
    }
  }
}

void CHttpMgr::CheckTimeouts() {
  const std::vector<CHttpBase*> snapshot(requests.begin(), requests.end());
  for (CHttpBase* request : snapshot) {
    // An earlier Done of this walk may have unregistered (and its owner destroyed) this one.
    if (!Contains(request)) continue;
    const uint32_t now = platform::GetTickCount();
    const bool idle = request->timeoutMs > 0 && request->startTick > 0 && now - request->startTick > request->timeoutMs;
    const bool tooLong = request->maxAttemptMs > 0 && request->attemptTick > 0 &&
                         now - request->attemptTick > request->maxAttemptMs;
    if (!idle && !tooLong) continue;
    const uint32_t startTick = request->startTick;
    const uint32_t attemptTick = request->attemptTick;
    request->Done(ET_USER, kUserAttemptTimeout);
    if (!Contains(request)) continue;
    // The clocks of this attempt stop; those of an attempt Done started anew keep running.
    if (request->startTick == startTick) request->startTick = 0;
    if (request->attemptTick == attemptTick) request->attemptTick = 0;
  }
}

void CHttpMgr::CheckRetryDelays() {
  bool released = false;
  for (CHttpBase* request : requests) {
    if (request->delayed && request->IsRetryDue()) {
      request->delayed = false;
      released = true;
    }
  }
  if (released) Schedule();
}

bool CHttpMgr::Contains(const CHttpBase* request) const {
  return std::find(requests.begin(), requests.end(), request) != requests.end();
}

void CHttpMgr::Clear() {
  const std::vector<CHttpBase*> held(requests.begin(), requests.end());
  for (CHttpBase* request : held) {
    request->manager = nullptr;
    request->workshop = nullptr;
    request->scheduled = false;
  }
  requests.clear();
  runningCount = 0;
  // A stack stop is an outside Stop of every request it held: each one's attempt is abandoned
  // (its owner is told nothing) and it is left idle, so its owner can submit it again to a new
  // stack. Detached first: the workshop is gone, and nothing may be scheduled any more.
  for (CHttpBase* request : held) request->Stop();
}
