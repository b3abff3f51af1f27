// CDownloadTaskQueue: the process-wide owner of the running download tasks. It ticks them once a
// second, routes the sources' events to their tasks, and keeps every task's log record until the
// record's report lets it go. Main thread only.
#pragma once

#include <list>
#include <string>

#include "commonlib/engine/DAEventRegistry.h"
#include "commonlib/engine/TaskLog.h"
#include "commonlib/thread/RefPtr.h"
#include "commonlib/thread/Singleton.h"

class CDownloadTask;

class CDownloadTaskQueue : public DAEventListener, public CSingleton<CDownloadTaskQueue> {
 public:
  // Appends the task unless one for the same target path, or with the same hash (the key the
  // sources' events are routed by), is queued; the reason is logged.
  bool AddTask(CDownloadTask* task);
  CDownloadTask* FindTask(const std::wstring& targetPath) const;
  CDownloadTask* FindTaskByKey(const std::wstring& key) const;
  // Pauses (meta file saved), removes and deletes the task; no callback runs.
  void CancelDownloadFile(const std::wstring& targetPath);
  // Takes a task out of the list without deleting it (the task's own completion).
  void RemoveTask(CDownloadTask* task);
  void OnTimer();
  void OnEvent(int type, int et, int ec, const ProtoValue& map) override;

  void AddRecord(const CRefPtr<CTaskLog>& record);
  void RemoveRecord(const CTaskLog* record);

  const std::list<CDownloadTask*>& Tasks() const { return m_tasks; }
  const std::list<CRefPtr<CTaskLog>>& Records() const { return m_records; }

 private:
  friend class CSingleton<CDownloadTaskQueue>;
  CDownloadTaskQueue() = default;
  // Tasks still queued at process exit are forgotten, not deleted: their sources' requests belong
  // to a stack that is gone by then.
  ~CDownloadTaskQueue() = default;

  bool Holds(const CDownloadTask* task) const;

  std::list<CDownloadTask*> m_tasks;
  std::list<CRefPtr<CTaskLog>> m_records;
};
