#include "commonlib/thread/MainThreadDispatcher.h"

#include <algorithm>
#include <deque>
#include <utility>

#include "commonlib/thread/Lock.h"
#include "commonlib/thread/MainThreadClock.h"
#include "commonlib/thread/MainThreadTask.h"
#include "platform/message_loop.h"
#include "platform/window.h"

namespace {

constexpr double kPumpBudgetSeconds = 0.05;

struct Entry {
  MainThreadRunFunction run;
  CRefPtr<MainThreadTaskBase> task;
};

enum class DispatcherState { kNotStarted, kRunning, kShutDown };

struct Dispatcher {
  CLock queueLock;
  std::deque<Entry> queue;  // guarded by queueLock
  DispatcherState state = DispatcherState::kNotStarted;  // guarded by queueLock
  platform::HWND window = nullptr;                       // guarded by queueLock
  platform::UINT wakeMessage = 0;                        // guarded by queueLock
  double lastTime = 0;                                   // main thread only
};

// Never destroyed: a worker may still post while the process exits.
Dispatcher& TheDispatcher() {
  static Dispatcher* dispatcher = new Dispatcher;
  return *dispatcher;
}

// The pump's clock never goes below what it has already shown.
double PumpTime() {
  Dispatcher& d = TheDispatcher();
  d.lastTime = std::max(MainThreadClockSeconds(), d.lastTime);
  return d.lastTime;
}

void PostWake() {
  Dispatcher& d = TheDispatcher();
  platform::HWND window;
  platform::UINT message;
  {
    CAutoLock lock(&d.queueLock);
    window = d.window;
    message = d.wakeMessage;
  }
  // A failed post leaves the entries queued; they run at the next wake-up.
  if (window) platform::PostMessage(window, message, 0, 0);
}

void Pump() {
  Dispatcher& d = TheDispatcher();
  const double start = PumpTime();
  for (;;) {
    Entry entry;
    {
      CAutoLock lock(&d.queueLock);
      if (d.queue.empty()) return;
      entry = std::move(d.queue.front());
      d.queue.pop_front();
    }
    // Outside the lock: a task may post further tasks.
    entry.run(&entry.task);
    entry.task.reset();
    if (PumpTime() - start > kPumpBudgetSeconds) {
      // Give the loop back for painting and input; one wake-up carries on with the rest.
      bool more;
      {
        CAutoLock lock(&d.queueLock);
        more = !d.queue.empty();
      }
      if (more) PostWake();
      return;
    }
  }
}

platform::LRESULT DispatcherWindowProc(platform::HWND hwnd, platform::UINT message, platform::WPARAM wParam,
                                       platform::LPARAM lParam) {
  platform::UINT wake;
  {
    Dispatcher& d = TheDispatcher();
    CAutoLock lock(&d.queueLock);
    wake = d.wakeMessage;
  }
  if (wake != 0 && message == wake) {
    Pump();
    return 0;
  }
  return platform::DefWindowProc(hwnd, message, wParam, lParam);
}

}  // namespace

void InitMainThreadDispatcher() {
  Dispatcher& d = TheDispatcher();
  {
    CAutoLock lock(&d.queueLock);
    if (d.window && platform::IsWindow(d.window)) return;
  }
  // Registered once per process; a second start-up finds the class already there.
  platform::RegisterClass({&DispatcherWindowProc, L"ThreadingWindowClass"});
  platform::HWND window = platform::CreateWindow(L"ThreadingWindowClass", L"", 0, 0, platform::HWND_MESSAGE, nullptr);
  const platform::UINT wakeMessage = platform::RegisterWindowMessage(kMainThreadWakeMessageName);
  bool pending;
  {
    CAutoLock lock(&d.queueLock);
    d.window = window;
    d.wakeMessage = wakeMessage;
    d.state = DispatcherState::kRunning;
    pending = !d.queue.empty();
  }
  if (pending) PostWake();
}

void PostToMainThread(MainThreadRunFunction run, CRefPtr<MainThreadTaskBase>& task) {
  Dispatcher& d = TheDispatcher();
  bool wake;
  {
    CAutoLock lock(&d.queueLock);
    if (d.state == DispatcherState::kShutDown) return;
    wake = d.queue.empty() && d.state == DispatcherState::kRunning;
    d.queue.push_back(Entry{run, task});
  }
  // Only the post that finds the queue empty wakes the main thread: a wake-up is pending or the
  // pump is running for every other one.
  if (wake) PostWake();
}

void ShutdownMainThreadDispatcher() {
  Dispatcher& d = TheDispatcher();
  std::deque<Entry> dropped;
  platform::HWND window;
  {
    CAutoLock lock(&d.queueLock);
    dropped.swap(d.queue);
    window = std::exchange(d.window, nullptr);
    d.state = DispatcherState::kShutDown;
  }
  // Deleted outside the lock: a task's destructor may itself try to post.
  dropped.clear();
  if (window) platform::DestroyWindow(window);
}
