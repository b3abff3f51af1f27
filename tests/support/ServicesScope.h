// The application's background services for a test, started and stopped as the application
// does it: the main-thread dispatcher, the command stack, the download engine and the 500 ms
// housekeeping of both managers. Header only: the support library does not link the engine.
#pragma once

#include <chrono>
#include <functional>

#include "commonlib/engine/DownloadEngine.h"
#include "commonlib/engine/DownloadTask.h"
#include "commonlib/engine/DownloadTaskQueue.h"
#include "commonlib/http/HttpHousekeeping.h"
#include "commonlib/http/HttpStack.h"
#include "commonlib/thread/MainThreadDispatcher.h"
#include "platform/message_loop.h"
#include "platform/timer.h"

namespace vkqx_test {

class ServicesScope {
 public:
  ServicesScope() {
    InitMainThreadDispatcher();
    CommandHttpStack().Start();
    DownloadEngineInit();
    Housekeeping() = CHttpHousekeeping();
    m_timer = platform::SetTimer(nullptr, 0, CHttpHousekeeping::kPeriodMs, &OnHousekeeping);
  }
  ~ServicesScope() {
    CDownloadTaskQueue* queue = CDownloadTaskQueue::GetInstance();
    while (!queue->Tasks().empty()) queue->CancelDownloadFile(queue->Tasks().front()->GetFullPath());
    platform::KillTimer(nullptr, m_timer);
    CommandHttpStack().Stop();
    DownloadEngineUninit();
    SetDownloadCallbacks(nullptr, nullptr);
    ShutdownMainThreadDispatcher();
  }
  ServicesScope(const ServicesScope&) = delete;
  ServicesScope& operator=(const ServicesScope&) = delete;

  // Runs the main thread's loop until `done` holds or `timeoutMs` pass; a short timer keeps the
  // loop looking at the condition.
  static bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
    if (done()) return true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const platform::UINT_PTR poll =
        platform::SetTimer(nullptr, 0, 10, [](platform::HWND, platform::UINT, platform::UINT_PTR, uint32_t) {});
    platform::RunNestedMessageLoop([&] { return done() || std::chrono::steady_clock::now() >= deadline; });
    platform::KillTimer(nullptr, poll);
    return done();
  }
  static void RunFor(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    RunUntil([&] { return std::chrono::steady_clock::now() >= until; }, ms + 1000);
  }

 private:
  static CHttpHousekeeping& Housekeeping() {
    static CHttpHousekeeping housekeeping;
    return housekeeping;
  }
  static void OnHousekeeping(platform::HWND, platform::UINT, platform::UINT_PTR, uint32_t) {
    Housekeeping().Tick(GetDownloadHttpMgr(), GetCommandHttpMgr());
  }

  platform::UINT_PTR m_timer = 0;
};

}  // namespace vkqx_test
