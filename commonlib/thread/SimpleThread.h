// CSimpleThread: the base of every worker thread. The owner starts it, asks it to stop and waits
// a bounded time; a thread cannot be killed safely here, so one that does not stop in time is
// abandoned and runs on to its end by itself.
//
// The contract for Run: wait only through the stop flag (SleepUnlessStopped, WaitUntilOrStopped,
// or a kept StopFlag()), so that a stop request ends every wait within one slice. A worker that
// may be abandoned touches none of its object's members once the flag is set: it keeps what it
// needs (StopFlag(), its own shared state) from the start of Run, because its owner may be
// destroyed as soon as DestroyThread has given up on it.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

namespace platform {
class Thread;
}

// A stop request that the owner sets once and the worker reads. Shared between them, so that an
// abandoned worker still reads valid memory after its owner is gone.
class CStopFlag {
 public:
  static constexpr uint32_t kSliceMs = 50;

  void Set();
  bool IsSet() const { return m_set.load(std::memory_order_acquire); }

  // Sleeps up to `ms` milliseconds; returns at once when the flag is set. True if the whole time
  // passed without a stop request.
  bool SleepUnlessSet(uint32_t ms) const;

  // Looks at `ready` in slices of at most `sliceMs` until it holds (true), the flag is set or
  // `timeoutMs` has passed (false). For conditions that cannot wake us themselves.
  template <typename Ready>
  bool WaitUntil(Ready ready, uint32_t timeoutMs, uint32_t sliceMs = kSliceMs) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      if (ready()) return true;
      const auto now = std::chrono::steady_clock::now();
      if (IsSet() || now >= deadline) return false;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
      if (!SleepUnlessSet(static_cast<uint32_t>(std::min<long long>(left, sliceMs)))) return false;
    }
  }

 private:
  std::atomic<bool> m_set{false};
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_changed;
};

class CSimpleThread {
 public:
  CSimpleThread();
  // A derived class stops its thread in its own destructor (DestroyThread); by the time this one
  // runs, a thread still inside Run is only asked to stop and abandoned.
  virtual ~CSimpleThread();
  CSimpleThread(const CSimpleThread&) = delete;
  CSimpleThread& operator=(const CSimpleThread&) = delete;

  // Sets the stop flag and waits up to `timeoutMs` for Run to return; on time-out logs it and
  // abandons the thread. True once no thread is left to this object.
  virtual bool DestroyThread(uint32_t timeoutMs);
  // True if the thread runs afterwards; a running thread is left as it is.
  virtual bool StartThread();

  // Id of the thread started last (0 before the first start and after DestroyThread).
  uint32_t GetThreadId() const { return m_threadId.load(std::memory_order_acquire); }
  bool IsRunning() const;

 protected:
  // The thread body, on the new thread.
  virtual void Run() = 0;
  // Called by DestroyThread on the owner's thread once the stop flag is set, before the wait: a
  // thread that blocks in something other than the stop flag wakes itself here.
  virtual void OnStopRequested() {}

  bool IsStopRequested() const { return m_stopRequested->IsSet(); }
  // The running thread's stop flag, for a Run that must not depend on its object.
  std::shared_ptr<const CStopFlag> StopFlag() const { return m_stopRequested; }
  bool SleepUnlessStopped(uint32_t ms) const { return m_stopRequested->SleepUnlessSet(ms); }
  template <typename Ready>
  bool WaitUntilOrStopped(Ready ready, uint32_t timeoutMs) const {
    return m_stopRequested->WaitUntil(ready, timeoutMs);
  }

 private:
  std::unique_ptr<platform::Thread> m_hThread;
  std::atomic<uint32_t> m_threadId{0};
  // A fresh flag for each start: an abandoned thread keeps its own, already set.
  std::shared_ptr<CStopFlag> m_stopRequested;
};
