// labels: threaded
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/message_loop.h"
#include "platform/process_info.h"
#include "platform/window.h"

namespace {

using namespace platform;

constexpr UINT kCount = WM_APP + 1;
constexpr UINT kEcho = WM_APP + 2;
constexpr UINT kAskBack = WM_APP + 3;

std::vector<std::pair<WPARAM, LPARAM>> g_received;
std::atomic<uint32_t> g_procThread{0};
HWND g_peer = nullptr;

LRESULT ThreadTestProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kCount: g_received.emplace_back(wParam, lParam); return 0;
    case kEcho: g_procThread = GetCurrentThreadId(); return static_cast<LRESULT>(wParam * 2);
    case kAskBack: return SendMessage(g_peer, kEcho, wParam, 0) + 1;  // sends back while being sent to
    default: return DefWindowProc(hwnd, message, wParam, lParam);
  }
}

class WindowThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static const bool registered = RegisterClass({&ThreadTestProc, L"ThreadTestClass"}) != 0;
    ASSERT_TRUE(registered);
    g_received.clear();
    m_hwnd = CreateWindow(L"ThreadTestClass", L"", 0, 0, HWND_MESSAGE, nullptr);
  }
  void TearDown() override { DestroyWindow(m_hwnd); }
  HWND m_hwnd = nullptr;
};

TEST_F(WindowThreadTest, PostsFromWorkersWakeTheLoopAndKeepEachSendersOrder) {
  constexpr int kThreads = 4, kEach = 200;
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([this, t] {
      for (int i = 0; i < kEach; ++i) ASSERT_TRUE(PostMessage(m_hwnd, kCount, t, i));
    });
  }
  MSG msg;
  while (g_received.size() < kThreads * kEach && GetMessage(&msg)) DispatchMessage(&msg);
  for (auto& w : workers) w.join();
  std::vector<LPARAM> next(kThreads, 0);
  for (auto [t, i] : g_received) EXPECT_EQ(i, next[t]++);
}

TEST_F(WindowThreadTest, SendFromAnotherThreadRunsOnTheOwnerAndWaits) {
  std::atomic<LRESULT> result{-1};
  std::thread sender([&] { result = SendMessage(m_hwnd, kEcho, 21, 0); });
  MSG msg;
  // The sent message is handled inside the owner's wait; a posted message ends the wait.
  while (result == -1) {
    if (!PeekMessage(&msg, PM_REMOVE)) std::this_thread::yield();
  }
  sender.join();
  EXPECT_EQ(result, 42);
  EXPECT_EQ(g_procThread, GetCurrentThreadId());
}

TEST_F(WindowThreadTest, ThreadsSendingToEachOtherDoNotDeadlock) {
  g_peer = m_hwnd;
  std::atomic<HWND> workerWindow{nullptr};
  std::atomic<bool> stop{false};
  std::thread worker([&] {
    workerWindow = CreateWindow(L"ThreadTestClass", L"", 0, 0, HWND_MESSAGE, nullptr);
    MSG msg;
    while (!stop) {
      if (!PeekMessage(&msg, PM_REMOVE)) std::this_thread::yield();
    }
  });
  while (!workerWindow) std::this_thread::yield();
  // The worker, asked by us, asks us back while we wait for its answer.
  EXPECT_EQ(SendMessage(workerWindow, kAskBack, 5, 0), 11);
  stop = true;
  worker.join();
  // The worker's window went with its thread.
  EXPECT_FALSE(IsWindow(workerWindow));
  EXPECT_FALSE(PostMessage(workerWindow, kCount, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
}

TEST_F(WindowThreadTest, ASendToAThreadThatEndsUnansweredGivesZero) {
  std::atomic<HWND> workerWindow{nullptr};
  std::atomic<bool> go{false};
  std::thread worker([&] {
    workerWindow = CreateWindow(L"ThreadTestClass", L"", 0, 0, HWND_MESSAGE, nullptr);
    while (!go) std::this_thread::yield();
    // Ends without ever looking at its queue.
  });
  while (!workerWindow) std::this_thread::yield();
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    go = true;
  });
  EXPECT_EQ(SendMessage(workerWindow, kEcho, 1, 0), 0);
  releaser.join();
  worker.join();
}

TEST_F(WindowThreadTest, OnlyTheOwningThreadMayDestroy) {
  std::thread other([this] {
    EXPECT_FALSE(DestroyWindow(m_hwnd));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  });
  other.join();
  EXPECT_TRUE(IsWindow(m_hwnd));
}

}  // namespace
