// Internal to platform/: the state the window, loop and timer modules share. One process-wide
// mutex guards all of it; procedures are always called with it released.
#pragma once

#include <glib.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/timer.h"
#include "platform/window.h"

namespace platform::detail {

struct ThreadQueue;

// A message handed from one thread to another by SendMessage; the sender waits for `done`.
struct SentMessage {
  MSG msg;
  LRESULT result = 0;
  bool done = false;
  std::shared_ptr<ThreadQueue> sender;
};

struct Timer {
  HWND hwnd = nullptr;
  UINT_PTR id = 0;
  uint32_t elapseMs = 0;
  uint64_t dueMs = 0;
  TIMERPROC proc = nullptr;
  uint64_t order = 0;  // creation order, for timers due at the same moment
};

struct ThreadQueue {
  uint32_t threadId = 0;
  GMainContext* context = nullptr;  // a reference we hold
  GSource* source = nullptr;        // tells the context when this queue has something to give
  bool alive = true;                // false once the thread has ended
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;
  bool quitPosted = false;
  WPARAM quitCode = 0;
  std::vector<Timer> timers;
  // Wakes this thread while it waits for the answer to its own SendMessage.
  std::condition_variable changed;
};

struct Window {
  HWND handle = nullptr;
  WNDPROC proc = nullptr;
  LONG_PTR userData = 0;
  HWND parent = nullptr;
  bool enabled = true;
  bool destroying = false;
  std::shared_ptr<ThreadQueue> queue;
};

struct Registry {
  std::mutex mutex;
  std::unordered_map<std::wstring, WNDPROC> classes;  // by lower-case name
  std::unordered_map<std::wstring, UINT> registeredMessages;
  UINT nextRegisteredMessage = kFirstRegisteredMessage;
  std::unordered_map<uintptr_t, std::shared_ptr<Window>> windows;
  uintptr_t nextHandle = 0x10000;
  UINT_PTR nextThreadTimerId = 1;
  uint64_t nextTimerOrder = 0;
};

// Never destroyed: other threads may post while the process exits.
Registry& TheRegistry();

// The calling thread's queue, made on first use.
std::shared_ptr<ThreadQueue> CurrentQueue();

// Under the registry's lock: the live window of a handle, or null.
std::shared_ptr<Window> FindWindowLocked(HWND hwnd);

// Wakes a queue's thread after the registry's lock has been released: make one under the lock,
// let it go out of scope after the lock.
class PendingWake {
 public:
  PendingWake() = default;
  ~PendingWake();
  PendingWake(const PendingWake&) = delete;
  PendingWake& operator=(const PendingWake&) = delete;
  // Under the lock.
  void Arm(ThreadQueue& queue);

 private:
  GMainContext* m_context = nullptr;
};

// Under the lock: whether the queue has something to give now, and otherwise in how many
// milliseconds a timer falls due (-1: none).
bool QueueReadyLocked(const ThreadQueue& queue, uint64_t nowMs, int* timeoutMs);

// Under the lock: the due timer that comes first, or null.
Timer* FirstDueTimerLocked(ThreadQueue& queue, uint64_t nowMs);
// Under the lock: the next due time after the timer has produced its WM_TIMER.
void RescheduleTimerLocked(Timer& timer, uint64_t nowMs);
// Under the lock: removes every timer of a window.
void DropWindowTimersLocked(ThreadQueue& queue, HWND hwnd);

// Runs a message sent from another thread on the calling (owning) thread and hands the result
// back to the sender. Called without the lock.
void DeliverSentMessage(const std::shared_ptr<SentMessage>& sent);
// Under the lock: marks a sent message answered and wakes its sender.
void CompleteSentLocked(SentMessage& sent, LRESULT result);

std::wstring LowerCase(const wchar_t* text);

}  // namespace platform::detail
