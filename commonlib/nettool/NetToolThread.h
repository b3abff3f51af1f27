// The diagnostics thread: one per process, alive while its queue of tasks is not empty. Tasks run
// one at a time in submission order; each posts its result to the main thread.
#pragma once

#include <deque>
#include <memory>
#include <string>

#include "commonlib/nettool/NetToolTask.h"
#include "commonlib/thread/Lock.h"
#include "commonlib/thread/SimpleThread.h"
#include "commonlib/thread/Singleton.h"

class CNetToolThread : public CSimpleThread, public CSingleton<CNetToolThread> {
 public:
  // Queues the task and makes sure a worker will run it; returns whether a worker is running.
  bool Submit(std::unique_ptr<CNetToolTask> task);

  // Tasks waiting to run (the one running excluded).
  size_t QueuedCount();

 protected:
  void Run() override;

 private:
  friend class CSingleton<CNetToolThread>;
  CNetToolThread() = default;
  // Stops a task still running (after 100 ms it is left to end by itself) and drops the queue.
  ~CNetToolThread() override;

  std::unique_ptr<CNetToolTask> TakeNextOrFinish();

  CLock m_lock;
  std::deque<std::unique_ptr<CNetToolTask>> m_tasks;  // under m_lock
  bool m_workerActive = false;                        // under m_lock: a worker will look at the queue again
};

// Queues a CNSLookUpTask of `host` through `servers` (";"-separated, empty for the built-in
// resolvers) whose result goes to `callback` with `app` as user value, and starts the thread.
// False without queuing for a null application object or a host shorter than 3 characters.
bool SubmitNSLookupVia(void* app, CNetToolThread* thread, const std::string& host, const std::string& servers,
                       NetToolCallback callback);
