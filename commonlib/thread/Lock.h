// CLock: a re-entrant lock with an informational depth counter; CAutoLock: its scoped guard.
#pragma once

#include <atomic>
#include <mutex>

class CLock {
 public:
  CLock() = default;
  CLock(const CLock&) = delete;
  CLock& operator=(const CLock&) = delete;

  void Lock() {
    m_mutex.lock();
    m_depth.fetch_add(1, std::memory_order_relaxed);
  }
  void Unlock() {
    m_depth.fetch_sub(1, std::memory_order_relaxed);
    m_mutex.unlock();
  }
  int Depth() const { return m_depth.load(std::memory_order_relaxed); }

 private:
  std::recursive_mutex m_mutex;
  std::atomic<int> m_depth{0};
};

class CAutoLock {
 public:
  explicit CAutoLock(CLock* lock) : m_lock(lock) {
    if (m_lock) m_lock->Lock();
  }
  ~CAutoLock() {
    if (m_lock) m_lock->Unlock();
  }
  CAutoLock(const CAutoLock&) = delete;
  CAutoLock& operator=(const CAutoLock&) = delete;

 private:
  CLock* m_lock;
};
