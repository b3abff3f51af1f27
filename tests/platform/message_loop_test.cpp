#include "platform/message_loop.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/window.h"

namespace {

using namespace platform;

std::vector<UINT> g_handled;
int g_nestedResult = -1;

LRESULT LoopWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= WM_USER) g_handled.push_back(message);
  if (message == WM_USER + 10) {
    // A modal loop inside a handler: it sees the quit request and passes it on.
    g_nestedResult = RunNestedMessageLoop([] { return false; }) ? 1 : 0;
  }
  if (message == WM_USER + 11) PostQuitMessage(static_cast<int>(wParam));
  return DefWindowProc(hwnd, message, wParam, lParam);
}

class MessageLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static const bool registered = RegisterClass({&LoopWindowProc, L"LoopWindowClass"}) != 0;
    ASSERT_TRUE(registered);
    g_handled.clear();
    g_nestedResult = -1;
    m_hwnd = CreateWindow(L"LoopWindowClass", L"", 0, 0, HWND_MESSAGE, nullptr);
    ASSERT_NE(m_hwnd, nullptr);
  }
  void TearDown() override {
    DestroyWindow(m_hwnd);
    MSG msg;
    while (PeekMessage(&msg, PM_REMOVE)) {
    }
  }
  HWND m_hwnd = nullptr;
};

TEST_F(MessageLoopTest, PostedMessagesComeInOrderAndQuitAfterThem) {
  PostMessage(m_hwnd, WM_USER + 1, 0, 0);
  PostQuitMessage(7);  // asked for before the next post, still taken after it
  PostMessage(m_hwnd, WM_USER + 2, 0, 0);
  PostMessage(nullptr, WM_APP + 3, 0, 0);  // a thread message
  MSG msg;
  std::vector<UINT> taken;
  while (GetMessage(&msg)) {
    taken.push_back(msg.message);
    DispatchMessage(&msg);
  }
  EXPECT_EQ(taken, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_APP + 3}));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_EQ(g_handled, (std::vector<UINT>{WM_USER + 1, WM_USER + 2}));
  EXPECT_FALSE(PeekMessage(&msg, PM_REMOVE));
}

TEST_F(MessageLoopTest, PeekWithoutRemovingLeavesTheMessage) {
  PostMessage(m_hwnd, WM_USER + 1, 5, 6);
  MSG msg;
  ASSERT_TRUE(PeekMessage(&msg, PM_NOREMOVE));
  ASSERT_TRUE(PeekMessage(&msg, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, m_hwnd);
  EXPECT_EQ(msg.message, WM_USER + 1);
  EXPECT_EQ(msg.wParam, 5u);
  EXPECT_EQ(msg.lParam, 6);
  EXPECT_FALSE(PeekMessage(&msg, PM_REMOVE));
}

TEST_F(MessageLoopTest, NestedLoopPassesQuitToTheOuterLoop) {
  PostMessage(m_hwnd, WM_USER + 10, 0, 0);  // starts the nested loop
  PostMessage(m_hwnd, WM_USER + 1, 0, 0);   // handled by the nested loop
  PostMessage(m_hwnd, WM_USER + 11, 3, 0);  // ends both
  PostMessage(m_hwnd, WM_USER + 2, 0, 0);   // still handled, before WM_QUIT comes out
  EXPECT_EQ(RunMessageLoop(), 3);
  EXPECT_EQ(g_nestedResult, 0);
  EXPECT_EQ(g_handled, (std::vector<UINT>{WM_USER + 10, WM_USER + 1, WM_USER + 11, WM_USER + 2}));
}

TEST_F(MessageLoopTest, NestedLoopEndsWhenDone) {
  bool done = false;
  static bool* doneFlag = nullptr;
  doneFlag = &done;
  WNDPROC finish = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (message == WM_USER) *doneFlag = true;
    return DefWindowProc(hwnd, message, wParam, lParam);
  };
  SetWindowLongPtr(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(finish));
  PostMessage(m_hwnd, WM_USER, 0, 0);
  PostMessage(m_hwnd, WM_USER + 1, 0, 0);
  EXPECT_TRUE(RunNestedMessageLoop([&] { return done; }));
  MSG msg;
  ASSERT_TRUE(PeekMessage(&msg, PM_REMOVE));  // the nested loop stopped right after its end
  EXPECT_EQ(msg.message, WM_USER + 1);
}

}  // namespace
