#include "commonlib/engine/DownloadTaskQueue.h"

#include <algorithm>
#include <vector>

#include "commonlib/engine/DownloadTask.h"
#include "commonlib/logger/Log.h"
#include "commonlib/peer/DownloadPeer.h"

bool CDownloadTaskQueue::AddTask(CDownloadTask* task) {
  if (FindTask(task->GetFullPath()) != nullptr) {
    LOGE(L"添加下载任务失败，目标文件已在下载队列中 %s", task->GetFullPath());
    return false;
  }
  if (FindTaskByKey(task->FileHash()) != nullptr) {
    LOGE(L"添加下载任务失败，相同哈希的任务已在下载队列中 %s hash:%s", task->GetFullPath(), task->FileHash());
    return false;
  }
  LOGE(L"添加下载任务 url:%s", task->Url());
  m_tasks.push_back(task);
  return true;
}

CDownloadTask* CDownloadTaskQueue::FindTask(const std::wstring& targetPath) const {
  for (CDownloadTask* task : m_tasks) {
    if (task->GetFullPath() == targetPath) return task;
  }
  return nullptr;
}

CDownloadTask* CDownloadTaskQueue::FindTaskByKey(const std::wstring& key) const {
  for (CDownloadTask* task : m_tasks) {
    if (task->FileHash() == key) return task;
  }
  return nullptr;
}

bool CDownloadTaskQueue::Holds(const CDownloadTask* task) const {
  return std::find(m_tasks.begin(), m_tasks.end(), task) != m_tasks.end();
}

void CDownloadTaskQueue::CancelDownloadFile(const std::wstring& targetPath) {
  CDownloadTask* const task = FindTask(targetPath);
  if (task == nullptr) {
    LOGE(L"CancelDownloadFile 未找到对应task %s", targetPath);
    return;
  }
  task->LogPause();
  task->StopTask();
  RemoveTask(task);
  delete task;
}

void CDownloadTaskQueue::RemoveTask(CDownloadTask* task) { m_tasks.remove(task); }

void CDownloadTaskQueue::OnTimer() {
  // A tick may end any task (its own, or through an event of a source); the walk goes over a copy
  // and skips tasks that are no longer queued. A task that lost every source is failed, and the
  // walk begins again from the front.
  bool restart = true;
  while (restart) {
    restart = false;
    const std::vector<CDownloadTask*> tasks(m_tasks.begin(), m_tasks.end());
    for (CDownloadTask* task : tasks) {
      if (!Holds(task)) continue;
      if (task->Tick()) continue;
      if (!Holds(task)) continue;
      LOGE(L"下载任务，找不到任何源！！url:%s", task->Url());
      task->OnTaskCompleted(DL_TASK_NO_SOURCE);
      restart = true;
      break;
    }
  }
}

void CDownloadTaskQueue::OnEvent(int type, int et, int ec, const ProtoValue& map) {
  const ProtoValue& id = map.Lookup(L"peer");
  if (id.type() != PV_INTEGER) return;
  // Events come synchronously from the source's own handlers, so the source is alive here.
  CDownloadPeer* const peer = CDownloadPeer::FromEventId(id.integer());
  CDownloadTask* const task = FindTaskByKey(peer->m_taskKey);
  if (task == nullptr) {
    LOGE(L"未找到对应peer %s", peer->m_taskKey);
    return;
  }
  auto integerOf = [&map](const wchar_t* key) {
    const ProtoValue& v = map.Lookup(key);
    return v.type() == PV_INTEGER ? static_cast<int>(v.integer()) : 0;
  };
  auto stringOf = [&map](const wchar_t* key) {
    const ProtoValue& v = map.Lookup(key);
    return v.type() == PV_STRING ? v.string() : std::wstring();
  };
  switch (type) {
    case DA_EVENT_DONE:
      task->OnRangeCompleted(peer, et, ec);
      break;
    case DA_EVENT_RESOLVED:
      task->OnPeerResolved(peer);
      break;
    case DA_EVENT_REDIRECT:
      task->OnPeerRedirected(stringOf(L"log_name"), stringOf(L"location"));
      break;
    case DA_EVENT_RETRY:
      task->OnPeerRetry(peer, integerOf(L"et"), integerOf(L"ec"), integerOf(L"times"));
      break;
    case DA_EVENT_AHEAD:
      task->OnPeerWantsAhead(peer);
      break;
    default:
      break;
  }
}

void CDownloadTaskQueue::AddRecord(const CRefPtr<CTaskLog>& record) { m_records.push_back(record); }

void CDownloadTaskQueue::RemoveRecord(const CTaskLog* record) {
  m_records.remove_if([record](const CRefPtr<CTaskLog>& r) { return r.get() == record; });
}
