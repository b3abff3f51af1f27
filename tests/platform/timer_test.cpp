#include "platform/timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/message_loop.h"
#include "platform/window.h"

namespace {

using namespace platform;

std::vector<std::string> g_fired;
UINT_PTR g_threadTimer20 = 0;
UINT_PTR g_threadTimer30 = 0;

void ThreadTimerProc(HWND hwnd, UINT message, UINT_PTR id, uint32_t) {
  EXPECT_EQ(hwnd, nullptr);
  EXPECT_EQ(message, WM_TIMER);
  g_fired.push_back(id == g_threadTimer20 ? "thread20" : id == g_threadTimer30 ? "thread30" : "other");
}

LRESULT TimerWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER) g_fired.push_back("window" + std::to_string(wParam));
  return DefWindowProc(hwnd, message, wParam, lParam);
}

class TimerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static const bool registered = RegisterClass({&TimerWindowProc, L"TimerWindowClass"}) != 0;
    ASSERT_TRUE(registered);
    g_fired.clear();
    m_hwnd = CreateWindow(L"TimerWindowClass", L"", 0, 0, HWND_MESSAGE, nullptr);
  }
  void TearDown() override {
    DestroyWindow(m_hwnd);
    SetClockForTesting({});
  }
  HWND m_hwnd = nullptr;
};

std::atomic<uint64_t> g_nowMs{1000000};
void UseTestClock() {
  SetClockForTesting({[] { return g_nowMs.load(); }, [] { return static_cast<int64_t>(g_nowMs.load()); },
                      [] { return static_cast<int64_t>(g_nowMs.load() * 1000000); }});
}

TEST_F(TimerTest, ThreadAndWindowTimersFireInTheOrderTheyFallDue) {
  g_threadTimer30 = SetTimer(nullptr, 0, 30, &ThreadTimerProc);
  ASSERT_NE(SetTimer(m_hwnd, 7, 10, nullptr), 0u);
  g_threadTimer20 = SetTimer(nullptr, 0, 20, &ThreadTimerProc);
  ASSERT_NE(g_threadTimer20, 0u);
  ASSERT_NE(g_threadTimer30, g_threadTimer20);

  std::vector<std::string> first;
  MSG msg;
  for (int i = 0; i < 1000 && first.size() < 3 && GetMessage(&msg); ++i) {
    DispatchMessage(&msg);
    for (const std::string& name : g_fired)
      if (std::find(first.begin(), first.end(), name) == first.end()) first.push_back(name);
  }
  EXPECT_EQ(first, (std::vector<std::string>{"window7", "thread20", "thread30"}));
  EXPECT_TRUE(KillTimer(nullptr, g_threadTimer20));
  EXPECT_TRUE(KillTimer(nullptr, g_threadTimer30));
  EXPECT_TRUE(KillTimer(m_hwnd, 7));
  EXPECT_FALSE(KillTimer(m_hwnd, 7));
}

TEST_F(TimerTest, ADueTimerGivesOneMessageHoweverManyPeriodsWentBy) {
  UseTestClock();
  const UINT_PTR id = SetTimer(nullptr, 0, 100, &ThreadTimerProc);
  MSG msg;
  EXPECT_FALSE(PeekMessage(&msg, PM_REMOVE));
  g_nowMs += 1000;
  ASSERT_TRUE(PeekMessage(&msg, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_TIMER);
  EXPECT_EQ(msg.hwnd, nullptr);
  EXPECT_EQ(msg.wParam, id);
  EXPECT_EQ(msg.lParam, reinterpret_cast<LPARAM>(&ThreadTimerProc));
  EXPECT_FALSE(PeekMessage(&msg, PM_REMOVE));
  g_nowMs += 100;
  EXPECT_TRUE(PeekMessage(&msg, PM_REMOVE));
  EXPECT_FALSE(PeekMessage(&msg, PM_REMOVE));
  KillTimer(nullptr, id);
}

TEST_F(TimerTest, PostedMessagesComeBeforeADueTimer) {
  UseTestClock();
  SetTimer(m_hwnd, 1, 10, nullptr);
  g_nowMs += 50;
  PostMessage(m_hwnd, WM_USER, 0, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessage(&msg, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER);
  ASSERT_TRUE(PeekMessage(&msg, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_TIMER);
}

TEST_F(TimerTest, KilledOrDestroyedTimersAreSilent) {
  UseTestClock();
  const UINT_PTR id = SetTimer(nullptr, 0, 10, &ThreadTimerProc);
  SetTimer(m_hwnd, 1, 10, nullptr);
  KillTimer(nullptr, id);
  DestroyWindow(m_hwnd);
  g_nowMs += 50;
  MSG msg;
  EXPECT_FALSE(PeekMessage(&msg, PM_REMOVE));
  EXPECT_EQ(SetTimer(m_hwnd, 1, 10, nullptr), 0u);
}

TEST_F(TimerTest, ThreadTimerIdsAreFreshUnlessAnExistingOneIsNamed) {
  UseTestClock();
  const UINT_PTR a = SetTimer(nullptr, 100, 500, &ThreadTimerProc);
  const UINT_PTR b = SetTimer(nullptr, 100, 500, &ThreadTimerProc);
  EXPECT_NE(a, 0u);
  EXPECT_NE(a, b);
  // Naming an existing timer restarts it: it is due a full period after the restart.
  g_nowMs += 400;
  EXPECT_EQ(SetTimer(nullptr, a, 500, &ThreadTimerProc), a);
  g_nowMs += 200;
  MSG msg;
  ASSERT_TRUE(PeekMessage(&msg, PM_REMOVE));
  EXPECT_EQ(msg.wParam, b);
  EXPECT_FALSE(PeekMessage(&msg, PM_REMOVE));
  KillTimer(nullptr, a);
  KillTimer(nullptr, b);
}

TEST_F(TimerTest, APostedLookAlikeDoesNotCallATimerProcedure) {
  PostMessage(nullptr, WM_TIMER, 1, reinterpret_cast<LPARAM>(&ThreadTimerProc));
  MSG msg;
  ASSERT_TRUE(PeekMessage(&msg, PM_REMOVE));
  DispatchMessage(&msg);
  EXPECT_TRUE(g_fired.empty());
}

}  // namespace
