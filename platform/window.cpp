#include "platform/window.h"

#include <utility>

#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/message_queue_impl.h"
#include "platform/process_info.h"

namespace platform {
namespace {

using detail::CurrentQueue;
using detail::FindWindowLocked;
using detail::TheRegistry;
using detail::Window;

// The procedure is read at each call, so a window that replaces its own procedure while it
// handles a message gets the next one in the new procedure.
LRESULT CallProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc = nullptr;
  {
    std::lock_guard<std::mutex> lock(TheRegistry().mutex);
    if (auto window = FindWindowLocked(hwnd)) proc = window->proc;
  }
  return proc ? proc(hwnd, message, wParam, lParam) : 0;
}

void ForgetWindow(HWND hwnd) {
  std::lock_guard<std::mutex> lock(TheRegistry().mutex);
  auto window = FindWindowLocked(hwnd);
  if (!window) return;
  std::erase_if(window->queue->posted, [hwnd](const MSG& msg) { return msg.hwnd == hwnd; });
  detail::DropWindowTimersLocked(*window->queue, hwnd);
  TheRegistry().windows.erase(reinterpret_cast<uintptr_t>(hwnd));
}

std::vector<HWND> OwnedWindowsOf(HWND owner, uint32_t threadId) {
  std::vector<HWND> owned;
  std::lock_guard<std::mutex> lock(TheRegistry().mutex);
  for (const auto& [handle, window] : TheRegistry().windows) {
    if (window->parent == owner && window->queue->threadId == threadId && !window->destroying)
      owned.push_back(window->handle);
  }
  return owned;
}

// Under the lock: the live window if the calling thread may use it, else null with the error set.
std::shared_ptr<Window> OwnWindowLocked(HWND hwnd) {
  auto window = FindWindowLocked(hwnd);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (window->queue->threadId != GetCurrentThreadId()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return window;
}

}  // namespace

uint16_t RegisterClass(const WNDCLASS& windowClass) {
  if (!windowClass.lpfnWndProc || !windowClass.lpszClassName || !*windowClass.lpszClassName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  detail::Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  auto [it, inserted] =
      registry.classes.emplace(detail::LowerCase(windowClass.lpszClassName), windowClass.lpfnWndProc);
  if (!inserted) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  return static_cast<uint16_t>(kFirstRegisteredMessage + registry.classes.size());
}

bool UnregisterClass(const wchar_t* className) {
  detail::Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  if (className == nullptr || registry.classes.erase(detail::LowerCase(className)) == 0) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return false;
  }
  return true;
}

HWND CreateWindow(const wchar_t* className, const wchar_t* title, uint32_t style, uint32_t exStyle,
                  HWND parent, void* createParam) {
  auto queue = CurrentQueue();
  HWND hwnd = nullptr;
  {
    detail::Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto cls = registry.classes.find(detail::LowerCase(className));
    if (cls == registry.classes.end()) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    if (parent && parent != HWND_MESSAGE && !FindWindowLocked(parent)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    auto window = std::make_shared<Window>();
    window->handle = hwnd = reinterpret_cast<HWND>(registry.nextHandle);
    registry.nextHandle += 4;
    window->proc = cls->second;
    window->parent = parent;
    window->queue = queue;
    registry.windows.emplace(reinterpret_cast<uintptr_t>(hwnd), std::move(window));
  }
  CREATESTRUCT create{createParam, parent, title, className, style, exStyle};
  if (!CallProcedure(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create))) {
    CallProcedure(hwnd, WM_NCDESTROY, 0, 0);
    ForgetWindow(hwnd);
    return nullptr;
  }
  if (CallProcedure(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  return hwnd;
}

bool DestroyWindow(HWND hwnd) {
  {
    std::lock_guard<std::mutex> lock(TheRegistry().mutex);
    auto window = OwnWindowLocked(hwnd);
    if (!window) return false;
    // Asked again while it is being destroyed (from its own WM_DESTROY, say): already under way.
    if (window->destroying) return true;
    window->destroying = true;
  }
  for (HWND owned : OwnedWindowsOf(hwnd, GetCurrentThreadId())) DestroyWindow(owned);
  CallProcedure(hwnd, WM_DESTROY, 0, 0);
  CallProcedure(hwnd, WM_NCDESTROY, 0, 0);
  ForgetWindow(hwnd);
  return true;
}

bool IsWindow(HWND hwnd) {
  std::lock_guard<std::mutex> lock(TheRegistry().mutex);
  return FindWindowLocked(hwnd) != nullptr;
}

bool EnableWindow(HWND hwnd, bool enable) {
  bool wasDisabled = false;
  {
    std::lock_guard<std::mutex> lock(TheRegistry().mutex);
    auto window = FindWindowLocked(hwnd);
    if (!window) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return false;
    }
    wasDisabled = !window->enabled;
    window->enabled = enable;
  }
  if (wasDisabled == enable) SendMessage(hwnd, WM_ENABLE, enable ? 1 : 0, 0);
  return wasDisabled;
}

bool IsWindowEnabled(HWND hwnd) {
  std::lock_guard<std::mutex> lock(TheRegistry().mutex);
  auto window = FindWindowLocked(hwnd);
  return window && window->enabled;
}

LONG_PTR GetWindowLongPtr(HWND hwnd, int index) {
  std::lock_guard<std::mutex> lock(TheRegistry().mutex);
  auto window = FindWindowLocked(hwnd);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  switch (index) {
    case GWLP_USERDATA: return window->userData;
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(window->proc);
    default: SetLastError(ERROR_INVALID_INDEX); return 0;
  }
}

LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value) {
  std::lock_guard<std::mutex> lock(TheRegistry().mutex);
  auto window = FindWindowLocked(hwnd);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  switch (index) {
    case GWLP_USERDATA: return std::exchange(window->userData, value);
    case GWLP_WNDPROC:
      if (value == 0) break;
      return reinterpret_cast<LONG_PTR>(std::exchange(window->proc, reinterpret_cast<WNDPROC>(value)));
    default: break;
  }
  SetLastError(ERROR_INVALID_INDEX);
  return 0;
}

uint32_t GetWindowThreadId(HWND hwnd) {
  std::lock_guard<std::mutex> lock(TheRegistry().mutex);
  auto window = FindWindowLocked(hwnd);
  return window ? window->queue->threadId : 0;
}

LRESULT DefWindowProc(HWND hwnd, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_NCCREATE: return 1;
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    default: return 0;
  }
}

bool PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const MSG msg{hwnd, message, wParam, lParam, GetTickCount()};
  if (hwnd == nullptr) {
    auto queue = CurrentQueue();
    std::lock_guard<std::mutex> lock(TheRegistry().mutex);
    queue->posted.push_back(msg);
    return true;
  }
  detail::PendingWake wake;
  std::lock_guard<std::mutex> lock(TheRegistry().mutex);
  auto window = FindWindowLocked(hwnd);
  if (!window || !window->queue->alive) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  window->queue->posted.push_back(msg);
  wake.Arm(*window->queue);
  return true;
}

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<detail::ThreadQueue> target;
  {
    std::lock_guard<std::mutex> lock(TheRegistry().mutex);
    auto window = FindWindowLocked(hwnd);
    if (!window) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    target = window->queue;
  }
  if (target->threadId == GetCurrentThreadId()) return CallProcedure(hwnd, message, wParam, lParam);

  auto self = CurrentQueue();
  auto sent = std::make_shared<detail::SentMessage>();
  sent->msg = MSG{hwnd, message, wParam, lParam, GetTickCount()};
  sent->sender = self;
  {
    detail::PendingWake wake;
    std::lock_guard<std::mutex> lock(TheRegistry().mutex);
    if (!target->alive) return 0;
    target->sent.push_back(sent);
    wake.Arm(*target);
  }
  // While waiting, answer what other threads send to this one, so that two threads sending to
  // each other do not wait forever.
  std::unique_lock<std::mutex> lock(TheRegistry().mutex);
  while (!sent->done) {
    if (!self->sent.empty()) {
      auto incoming = std::move(self->sent.front());
      self->sent.pop_front();
      lock.unlock();
      detail::DeliverSentMessage(incoming);
      lock.lock();
      continue;
    }
    self->changed.wait(lock);
  }
  return sent->result;
}

UINT RegisterWindowMessage(const wchar_t* name) {
  if (name == nullptr || *name == L'\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  detail::Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  const std::wstring key = detail::LowerCase(name);
  auto it = registry.registeredMessages.find(key);
  if (it != registry.registeredMessages.end()) return it->second;
  if (registry.nextRegisteredMessage > kLastRegisteredMessage) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  const UINT id = registry.nextRegisteredMessage++;
  registry.registeredMessages.emplace(key, id);
  return id;
}

}  // namespace platform
