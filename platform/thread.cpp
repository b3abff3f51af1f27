#include "platform/thread.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/errors.h"
#include "platform/process_info.h"

namespace platform {

// Shared by the handle and the thread itself, so the thread never needs its handle to exist.
struct Thread::State {
  std::mutex mutex;
  std::condition_variable changed;
  bool started = false;
  bool ended = false;
  uint32_t id = 0;
  uint32_t exitCode = STILL_ACTIVE;
  std::thread thread;
};

std::unique_ptr<Thread> Thread::Start(std::function<uint32_t()> body) {
  auto state = std::make_shared<State>();
  try {
    state->thread = std::thread([state, body = std::move(body)]() mutable {
      {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->id = GetCurrentThreadId();
        state->started = true;
      }
      state->changed.notify_all();
      const uint32_t code = body();
      body = nullptr;  // what the body holds goes before the thread counts as ended
      {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->exitCode = code;
        state->ended = true;
      }
      state->changed.notify_all();
    });
  } catch (const std::system_error&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::unique_lock<std::mutex> lock(state->mutex);
  state->changed.wait(lock, [&] { return state->started; });
  lock.unlock();
  return std::unique_ptr<Thread>(new Thread(std::move(state)));
}

Thread::Thread(std::shared_ptr<State> state) : m_state(std::move(state)) {}

Thread::~Thread() {
  bool ended;
  {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    ended = m_state->ended;
  }
  // An ended thread is only finishing its last lines: joining it is quick and frees it at once.
  if (ended && !IsCurrent())
    m_state->thread.join();
  else
    m_state->thread.detach();
}

uint32_t Thread::Id() const {
  std::lock_guard<std::mutex> lock(m_state->mutex);
  return m_state->id;
}

uint32_t Thread::ExitCode() const {
  std::lock_guard<std::mutex> lock(m_state->mutex);
  return m_state->exitCode;
}

uint32_t Thread::Wait(uint32_t timeoutMs) const {
  std::unique_lock<std::mutex> lock(m_state->mutex);
  auto ended = [this] { return m_state->ended; };
  if (timeoutMs == INFINITE) {
    m_state->changed.wait(lock, ended);
    return WAIT_OBJECT_0;
  }
  return m_state->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ended) ? WAIT_OBJECT_0
                                                                                      : WAIT_TIMEOUT;
}

bool Thread::IsCurrent() const { return Id() == GetCurrentThreadId(); }

}  // namespace platform
