#include "commonlib/nettool/NetToolThread.h"

#include <utility>

#include "commonlib/nettool/NSLookUpTask.h"

namespace {
constexpr uint32_t kExitStopTimeoutMs = 100;
// A worker that has found the queue empty is past its last look at it and only ends; waiting for
// it is short.
constexpr uint32_t kEndingWorkerWaitMs = 5000;
}  // namespace

CNetToolThread::~CNetToolThread() {
  DestroyThread(kExitStopTimeoutMs);
  CAutoLock guard(&m_lock);
  m_tasks.clear();
}

bool CNetToolThread::Submit(std::unique_ptr<CNetToolTask> task) {
  bool needWorker = false;
  {
    CAutoLock guard(&m_lock);
    m_tasks.push_back(std::move(task));
    needWorker = !m_workerActive;
    m_workerActive = true;
  }
  if (!needWorker) return true;  // the running worker takes it before it ends
  // The previous worker may have found the queue empty and still be ending; StartThread would take
  // it for a live worker and start nothing, stranding the task. Let it end first.
  DestroyThread(kEndingWorkerWaitMs);
  return StartThread();
}

size_t CNetToolThread::QueuedCount() {
  CAutoLock guard(&m_lock);
  return m_tasks.size();
}

std::unique_ptr<CNetToolTask> CNetToolThread::TakeNextOrFinish() {
  CAutoLock guard(&m_lock);
  if (m_tasks.empty()) {
    m_workerActive = false;  // decided under the lock: a later submission starts a new worker
    return nullptr;
  }
  std::unique_ptr<CNetToolTask> task = std::move(m_tasks.front());
  m_tasks.pop_front();
  return task;
}

void CNetToolThread::Run() {
  while (std::unique_ptr<CNetToolTask> task = TakeNextOrFinish()) task->Run();
}

bool SubmitNSLookupVia(void* app, CNetToolThread* thread, const std::string& host, const std::string& servers,
                       NetToolCallback callback) {
  if (app == nullptr || thread == nullptr || host.size() < 3) return false;
  return thread->Submit(std::make_unique<CNSLookUpTask>(host, servers, callback, app));
}
