#include "commonlib/thread/SimpleThread.h"

#include "commonlib/logger/Log.h"
#include "platform/thread.h"

void CStopFlag::Set() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_set.store(true, std::memory_order_release);
  }
  m_changed.notify_all();
}

bool CStopFlag::SleepUnlessSet(uint32_t ms) const {
  std::unique_lock<std::mutex> lock(m_mutex);
  return !m_changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return IsSet(); });
}

CSimpleThread::CSimpleThread() : m_stopRequested(std::make_shared<CStopFlag>()) {}

CSimpleThread::~CSimpleThread() {
  if (m_hThread && m_hThread->ExitCode() == platform::STILL_ACTIVE) m_stopRequested->Set();
}

bool CSimpleThread::IsRunning() const {
  return m_hThread && m_hThread->ExitCode() == platform::STILL_ACTIVE;
}

bool CSimpleThread::StartThread() {
  if (IsRunning()) return true;
  // An ended thread's handle is closed here, by the owner: the thread itself never touches this
  // object after Run has returned.
  m_hThread.reset();
  m_stopRequested = std::make_shared<CStopFlag>();
  m_threadId.store(0, std::memory_order_release);
  m_hThread = platform::Thread::Start([this] {
    Run();
    return 0u;
  });
  if (!m_hThread) return false;
  m_threadId.store(m_hThread->Id(), std::memory_order_release);
  return true;
}

bool CSimpleThread::DestroyThread(uint32_t timeoutMs) {
  if (!m_hThread) return true;
  if (IsRunning()) {
    m_stopRequested->Set();
    OnStopRequested();
    if (!m_hThread->IsCurrent() && m_hThread->Wait(timeoutMs) == platform::WAIT_TIMEOUT) {
      LOGE(L"CSimpleThread::DestroyThread线程结束超时 tid:%d ", static_cast<int>(GetThreadId()));
      // Closing the handle below abandons the thread; it keeps only its own stop flag.
    }
  }
  m_hThread.reset();
  m_threadId.store(0, std::memory_order_release);
  return true;
}
