// The per-thread queues and their hook into GLib: each queue adds one source to its thread's main
// context that is ready whenever the queue has something to give and otherwise asks the context
// to wake up when the next timer falls due. Other threads wake a sleeping context through
// g_main_context_wakeup.
#include <cwctype>
#include <algorithm>
#include <limits>
#include <utility>

#include "platform/clock.h"
#include "platform/message_queue_impl.h"
#include "platform/process_info.h"

namespace platform::detail {
namespace {

struct QueueSource {
  GSource base;
  ThreadQueue* queue;
};

gboolean QueueSourcePrepare(GSource* source, gint* timeout) {
  const ThreadQueue& queue = *reinterpret_cast<QueueSource*>(source)->queue;
  std::lock_guard<std::mutex> lock(TheRegistry().mutex);
  return QueueReadyLocked(queue, GetTickCount64(), timeout);
}

gboolean QueueSourceCheck(GSource* source) {
  int timeout = 0;
  return QueueSourcePrepare(source, &timeout);
}

// The messages are taken by GetMessage/PeekMessage themselves; the source only ends the wait.
gboolean QueueSourceDispatch(GSource*, GSourceFunc, gpointer) { return G_SOURCE_CONTINUE; }

GSourceFuncs g_queueSourceFuncs = {QueueSourcePrepare, QueueSourceCheck, QueueSourceDispatch,
                                   nullptr, nullptr, nullptr};

std::shared_ptr<ThreadQueue> MakeQueue() {
  auto queue = std::make_shared<ThreadQueue>();
  queue->threadId = GetCurrentThreadId();
  // The process's main thread shares the default context with the display and signal sources;
  // another thread gets a context of its own, so its loop never competes for the default one.
  const bool mainThread = queue->threadId == GetCurrentProcessId();
  queue->context = mainThread ? g_main_context_ref(g_main_context_default()) : g_main_context_new();
  GSource* source = g_source_new(&g_queueSourceFuncs, sizeof(QueueSource));
  reinterpret_cast<QueueSource*>(source)->queue = queue.get();
  g_source_set_name(source, "vkqx message queue");
  g_source_attach(source, queue->context);
  queue->source = source;
  return queue;
}

// A thread that ends takes its windows, timers and queued messages with it; whoever waits for a
// SendMessage answer from it gets 0.
void RetireQueue(const std::shared_ptr<ThreadQueue>& queue) {
  GMainContext* context = nullptr;
  GSource* source = nullptr;
  std::deque<MSG> posted;
  std::vector<std::shared_ptr<Window>> windows;
  {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    queue->alive = false;
    for (auto& sent : queue->sent) CompleteSentLocked(*sent, 0);
    queue->sent.clear();
    posted.swap(queue->posted);
    queue->timers.clear();
    for (auto it = registry.windows.begin(); it != registry.windows.end();) {
      if (it->second->queue == queue) {
        windows.push_back(std::move(it->second));
        it = registry.windows.erase(it);
      } else {
        ++it;
      }
    }
    context = std::exchange(queue->context, nullptr);
    source = std::exchange(queue->source, nullptr);
  }
  if (source) {
    g_source_destroy(source);
    g_source_unref(source);
  }
  if (context) g_main_context_unref(context);
}

struct QueueHolder {
  std::shared_ptr<ThreadQueue> queue;
  ~QueueHolder() {
    if (queue) RetireQueue(queue);
  }
};

thread_local QueueHolder t_queue;

}  // namespace

Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

std::shared_ptr<ThreadQueue> CurrentQueue() {
  if (!t_queue.queue) t_queue.queue = MakeQueue();
  return t_queue.queue;
}

std::shared_ptr<Window> FindWindowLocked(HWND hwnd) {
  Registry& registry = TheRegistry();
  auto it = registry.windows.find(reinterpret_cast<uintptr_t>(hwnd));
  return it == registry.windows.end() ? nullptr : it->second;
}

PendingWake::~PendingWake() {
  if (!m_context) return;
  g_main_context_wakeup(m_context);
  g_main_context_unref(m_context);
}

void PendingWake::Arm(ThreadQueue& queue) {
  queue.changed.notify_all();
  if (!m_context && queue.context) m_context = g_main_context_ref(queue.context);
}

bool QueueReadyLocked(const ThreadQueue& queue, uint64_t nowMs, int* timeoutMs) {
  *timeoutMs = 0;
  if (!queue.sent.empty() || !queue.posted.empty() || queue.quitPosted) return true;
  uint64_t soonest = std::numeric_limits<uint64_t>::max();
  for (const Timer& timer : queue.timers) {
    if (timer.dueMs <= nowMs) return true;
    soonest = std::min(soonest, timer.dueMs - nowMs);
  }
  *timeoutMs = soonest == std::numeric_limits<uint64_t>::max()
                   ? -1
                   : static_cast<int>(std::min<uint64_t>(soonest, std::numeric_limits<int>::max()));
  return false;
}

Timer* FirstDueTimerLocked(ThreadQueue& queue, uint64_t nowMs) {
  Timer* first = nullptr;
  for (Timer& timer : queue.timers) {
    if (timer.dueMs > nowMs) continue;
    if (!first || timer.dueMs < first->dueMs ||
        (timer.dueMs == first->dueMs && timer.order < first->order))
      first = &timer;
  }
  return first;
}

void RescheduleTimerLocked(Timer& timer, uint64_t nowMs) {
  // Periods missed while the loop was busy are not made up for: one WM_TIMER stands for all.
  const uint64_t next = timer.dueMs + timer.elapseMs;
  timer.dueMs = next > nowMs ? next : nowMs + timer.elapseMs;
}

void DropWindowTimersLocked(ThreadQueue& queue, HWND hwnd) {
  std::erase_if(queue.timers, [hwnd](const Timer& timer) { return timer.hwnd == hwnd; });
}

void CompleteSentLocked(SentMessage& sent, LRESULT result) {
  sent.result = result;
  sent.done = true;
  if (sent.sender) sent.sender->changed.notify_all();
}

void DeliverSentMessage(const std::shared_ptr<SentMessage>& sent) {
  WNDPROC proc = nullptr;
  {
    std::lock_guard<std::mutex> lock(TheRegistry().mutex);
    if (auto window = FindWindowLocked(sent->msg.hwnd)) proc = window->proc;
  }
  const MSG& msg = sent->msg;
  const LRESULT result = proc ? proc(msg.hwnd, msg.message, msg.wParam, msg.lParam) : 0;
  std::lock_guard<std::mutex> lock(TheRegistry().mutex);
  CompleteSentLocked(*sent, result);
}

std::wstring LowerCase(const wchar_t* text) {
  std::wstring lower(text ? text : L"");
  for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return lower;
}

}  // namespace platform::detail
