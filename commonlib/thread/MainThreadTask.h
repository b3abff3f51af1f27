// Main-thread tasks: a worker calls a function on the main thread with arguments copied when it
// posts. MainThreadTaskN binds N arguments, each given as a pair of types: how it is stored and
// how it is passed to the function (a stored std::string is passed as const std::string&).
//
//   PostMainThreadTask(&OnLookupResult, requestId, context, host, address);
#pragma once

#include <type_traits>
#include <utility>

#include "commonlib/thread/MainThreadDispatcher.h"
#include "commonlib/thread/RefPtr.h"

class MainThreadTaskBase : public CRefThreadSafeBase<MainThreadTaskBase> {
 public:
  virtual void Run() = 0;
  virtual ~MainThreadTaskBase() = default;
};

// The run function every bound task is posted with.
inline void RunMainThreadTask(CRefPtr<MainThreadTaskBase>* task) { (*task)->Run(); }

template <typename S1, typename P1, typename S2, typename P2>
class MainThreadTask2 : public MainThreadTaskBase {
 public:
  using Function = void (*)(P1, P2);
  MainThreadTask2(Function function, S1 a1, S2 a2)
      : m_function(function), m_a1(std::move(a1)), m_a2(std::move(a2)) {}
  void Run() override { m_function(m_a1, m_a2); }

 private:
  Function m_function;
  S1 m_a1;
  S2 m_a2;
};

template <typename S1, typename P1, typename S2, typename P2, typename S3, typename P3>
class MainThreadTask3 : public MainThreadTaskBase {
 public:
  using Function = void (*)(P1, P2, P3);
  MainThreadTask3(Function function, S1 a1, S2 a2, S3 a3)
      : m_function(function), m_a1(std::move(a1)), m_a2(std::move(a2)), m_a3(std::move(a3)) {}
  void Run() override { m_function(m_a1, m_a2, m_a3); }

 private:
  Function m_function;
  S1 m_a1;
  S2 m_a2;
  S3 m_a3;
};

template <typename S1, typename P1, typename S2, typename P2, typename S3, typename P3, typename S4,
          typename P4>
class MainThreadTask4 : public MainThreadTaskBase {
 public:
  using Function = void (*)(P1, P2, P3, P4);
  MainThreadTask4(Function function, S1 a1, S2 a2, S3 a3, S4 a4)
      : m_function(function),
        m_a1(std::move(a1)),
        m_a2(std::move(a2)),
        m_a3(std::move(a3)),
        m_a4(std::move(a4)) {}
  void Run() override { m_function(m_a1, m_a2, m_a3, m_a4); }

 private:
  Function m_function;
  S1 m_a1;
  S2 m_a2;
  S3 m_a3;
  S4 m_a4;
};

namespace main_thread_task_detail {
// An argument is stored as the plain type the function takes it as.
template <typename P>
using Stored = std::remove_cvref_t<P>;

inline void Post(MainThreadTaskBase* created) {
  CRefPtr<MainThreadTaskBase> task(created);
  PostToMainThread(&RunMainThreadTask, task);
}
}  // namespace main_thread_task_detail

template <typename P1, typename P2, typename A1, typename A2>
void PostMainThreadTask(void (*function)(P1, P2), A1&& a1, A2&& a2) {
  using namespace main_thread_task_detail;
  Post(new MainThreadTask2<Stored<P1>, P1, Stored<P2>, P2>(function, std::forward<A1>(a1),
                                                           std::forward<A2>(a2)));
}

template <typename P1, typename P2, typename P3, typename A1, typename A2, typename A3>
void PostMainThreadTask(void (*function)(P1, P2, P3), A1&& a1, A2&& a2, A3&& a3) {
  using namespace main_thread_task_detail;
  Post(new MainThreadTask3<Stored<P1>, P1, Stored<P2>, P2, Stored<P3>, P3>(
      function, std::forward<A1>(a1), std::forward<A2>(a2), std::forward<A3>(a3)));
}

template <typename P1, typename P2, typename P3, typename P4, typename A1, typename A2, typename A3,
          typename A4>
void PostMainThreadTask(void (*function)(P1, P2, P3, P4), A1&& a1, A2&& a2, A3&& a3, A4&& a4) {
  using namespace main_thread_task_detail;
  Post(new MainThreadTask4<Stored<P1>, P1, Stored<P2>, P2, Stored<P3>, P3, Stored<P4>, P4>(
      function, std::forward<A1>(a1), std::forward<A2>(a2), std::forward<A3>(a3),
      std::forward<A4>(a4)));
}
