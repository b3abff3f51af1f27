// CRefThreadSafeBase<T>: an intrusive, atomically updated reference count that starts at 0 and
// deletes the object as a T when it falls back to 0. CRefPtr<T>: its smart pointer.
#pragma once

#include <atomic>
#include <utility>

template <typename T>
class CRefThreadSafeBase {
 public:
  void AddRef() const { m_refCount.fetch_add(1, std::memory_order_relaxed); }
  void Release() const {
    if (m_refCount.fetch_sub(1, std::memory_order_acq_rel) == 1) delete static_cast<const T*>(this);
  }
  int RefCount() const { return m_refCount.load(std::memory_order_relaxed); }

 protected:
  CRefThreadSafeBase() = default;
  ~CRefThreadSafeBase() = default;
  CRefThreadSafeBase(const CRefThreadSafeBase&) = delete;
  CRefThreadSafeBase& operator=(const CRefThreadSafeBase&) = delete;

 private:
  mutable std::atomic<int> m_refCount{0};
};

template <typename T>
class CRefPtr {
 public:
  CRefPtr() = default;
  CRefPtr(T* p) : m_p(p) {  // NOLINT: implicit like a raw pointer
    if (m_p) m_p->AddRef();
  }
  CRefPtr(const CRefPtr& other) : CRefPtr(other.m_p) {}
  template <typename U>
  CRefPtr(const CRefPtr<U>& other) : CRefPtr(other.get()) {}
  CRefPtr(CRefPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
  ~CRefPtr() {
    if (m_p) m_p->Release();
  }

  CRefPtr& operator=(const CRefPtr& other) {
    Assign(other.m_p);
    return *this;
  }
  CRefPtr& operator=(CRefPtr&& other) noexcept {
    if (this != &other) {
      T* old = std::exchange(m_p, std::exchange(other.m_p, nullptr));
      if (old) old->Release();
    }
    return *this;
  }
  CRefPtr& operator=(T* p) {
    Assign(p);
    return *this;
  }

  void reset() { Assign(nullptr); }
  T* get() const { return m_p; }
  T* operator->() const { return m_p; }
  T& operator*() const { return *m_p; }
  explicit operator bool() const { return m_p != nullptr; }

 private:
  void Assign(T* p) {
    if (p == m_p) return;
    if (p) p->AddRef();
    T* old = std::exchange(m_p, p);
    if (old) old->Release();
  }

  T* m_p = nullptr;
};
