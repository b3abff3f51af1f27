#include "platform/window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/message_loop.h"

namespace {

using namespace platform;

struct Seen {
  HWND hwnd;
  UINT message;
  bool wasWindow;
};
std::vector<Seen> g_seen;
LRESULT g_createAnswer = 0;

LRESULT RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  g_seen.push_back({hwnd, message, IsWindow(hwnd)});
  if (message == WM_CREATE) return g_createAnswer;
  if (message == WM_USER) return static_cast<LRESULT>(wParam + lParam);
  return DefWindowProc(hwnd, message, wParam, lParam);
}

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterClass({&RecordingProc, L"RecordingWindowClass"}); }
  void SetUp() override {
    g_seen.clear();
    g_createAnswer = 0;
  }
  void TearDown() override {
    MSG msg;
    while (PeekMessage(&msg, PM_REMOVE)) {
    }
  }
  static HWND Make(HWND parent = HWND_MESSAGE, void* param = nullptr) {
    return CreateWindow(L"RecordingWindowClass", L"", 0, 0, parent, param);
  }
  static std::vector<UINT> MessagesOf(HWND hwnd) {
    std::vector<UINT> out;
    for (const Seen& s : g_seen)
      if (s.hwnd == hwnd) out.push_back(s.message);
    return out;
  }
};

TEST_F(WindowTest, CreationSendsNcCreateAndCreateWithTheCreateParameter) {
  static void* seenParam = nullptr;
  static HWND seenParent = nullptr;
  WNDPROC proc = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCT*>(lParam);
      seenParam = create->lpCreateParams;
      seenParent = create->hwndParent;
    }
    return DefWindowProc(hwnd, message, wParam, lParam);
  };
  RegisterClass({proc, L"CreateParamClass"});
  int owner = 0;
  HWND hwnd = CreateWindow(L"createparamclass", nullptr, 0, 0, HWND_MESSAGE, &owner);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(seenParam, &owner);
  EXPECT_EQ(seenParent, HWND_MESSAGE);
  EXPECT_TRUE(DestroyWindow(hwnd));
}

TEST_F(WindowTest, ClassNamesAreUniqueAndMustExist) {
  EXPECT_EQ(RegisterClass({&RecordingProc, L"recordingwindowclass"}), 0);
  EXPECT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);
  EXPECT_EQ(CreateWindow(L"NoSuchClass", L"", 0, 0, HWND_MESSAGE, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_CANNOT_FIND_WND_CLASS);
}

TEST_F(WindowTest, DestroySendsDestroyThenFinalMessageAndInvalidatesTheHandle) {
  HWND hwnd = Make();
  ASSERT_TRUE(PostMessage(hwnd, WM_USER, 1, 2));  // queued, then dropped with the window
  g_seen.clear();
  ASSERT_TRUE(DestroyWindow(hwnd));
  ASSERT_EQ(MessagesOf(hwnd), (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
  EXPECT_TRUE(g_seen[0].wasWindow);
  EXPECT_TRUE(g_seen[1].wasWindow);
  EXPECT_FALSE(IsWindow(hwnd));

  MSG msg;
  EXPECT_FALSE(PeekMessage(&msg, PM_REMOVE));
  EXPECT_FALSE(PostMessage(hwnd, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_EQ(SendMessage(hwnd, WM_USER, 1, 2), 0);
  EXPECT_FALSE(DestroyWindow(hwnd));
  // A new window never gets the old handle back.
  HWND next = Make();
  EXPECT_NE(next, hwnd);
  DestroyWindow(next);
}

TEST_F(WindowTest, OwnedWindowsGoBeforeTheirOwner) {
  HWND owner = Make();
  HWND owned = Make(owner);
  ASSERT_NE(owned, nullptr);
  g_seen.clear();
  ASSERT_TRUE(DestroyWindow(owner));
  std::vector<std::pair<HWND, UINT>> order;
  for (const Seen& s : g_seen) order.emplace_back(s.hwnd, s.message);
  EXPECT_EQ(order, (std::vector<std::pair<HWND, UINT>>{
                       {owned, WM_DESTROY}, {owned, WM_NCDESTROY}, {owner, WM_DESTROY}, {owner, WM_NCDESTROY}}));
  EXPECT_FALSE(IsWindow(owned));
}

TEST_F(WindowTest, CloseThroughDefaultHandlingDestroys) {
  HWND hwnd = Make();
  ASSERT_TRUE(PostMessage(hwnd, WM_CLOSE, 0, 0));
  MSG msg;
  ASSERT_TRUE(PeekMessage(&msg, PM_REMOVE));
  DispatchMessage(&msg);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(MessagesOf(hwnd), (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
}

TEST_F(WindowTest, CreateAnsweredWithMinusOneFails) {
  g_createAnswer = -1;
  EXPECT_EQ(Make(), nullptr);
  ASSERT_FALSE(g_seen.empty());
  EXPECT_EQ(MessagesOf(g_seen[0].hwnd),
            (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
  EXPECT_FALSE(IsWindow(g_seen[0].hwnd));
}

TEST_F(WindowTest, UserDataAndProcedureSlots) {
  HWND hwnd = Make();
  int object = 0;
  EXPECT_EQ(SetWindowLongPtr(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&object)), 0);
  EXPECT_EQ(GetWindowLongPtr(hwnd, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&object));
  EXPECT_EQ(GetWindowLongPtr(hwnd, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&RecordingProc));
  EXPECT_EQ(GetWindowLongPtr(hwnd, 12345), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_INDEX);
  DestroyWindow(hwnd);
  EXPECT_EQ(GetWindowLongPtr(hwnd, GWLP_USERDATA), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
}

TEST_F(WindowTest, EnablingReportsThePreviousStateAndNotifiesChangesOnly) {
  HWND hwnd = Make();
  g_seen.clear();
  EXPECT_TRUE(IsWindowEnabled(hwnd));
  EXPECT_FALSE(EnableWindow(hwnd, false));
  EXPECT_FALSE(IsWindowEnabled(hwnd));
  EXPECT_TRUE(EnableWindow(hwnd, false));
  EXPECT_TRUE(EnableWindow(hwnd, true));
  EXPECT_EQ(MessagesOf(hwnd), (std::vector<UINT>{WM_ENABLE, WM_ENABLE}));
  DestroyWindow(hwnd);
}

TEST_F(WindowTest, SendOnTheOwningThreadCallsTheProcedureAtOnce) {
  HWND hwnd = Make();
  EXPECT_EQ(SendMessage(hwnd, WM_USER, 40, 2), 42);
  MSG msg;
  EXPECT_FALSE(PeekMessage(&msg, PM_REMOVE));
  DestroyWindow(hwnd);
}

TEST(RegisteredMessages, SameNameSameNumberInTheRegisteredRange) {
  const UINT a = RegisterWindowMessage(L"com.example.Alpha");
  const UINT b = RegisterWindowMessage(L"com.example.Beta");
  EXPECT_GE(a, 0xC000u);
  EXPECT_LE(a, 0xFFFFu);
  EXPECT_GE(b, 0xC000u);
  EXPECT_NE(a, b);
  EXPECT_EQ(RegisterWindowMessage(L"com.example.Alpha"), a);
  EXPECT_EQ(RegisterWindowMessage(L"COM.EXAMPLE.ALPHA"), a);
  EXPECT_EQ(RegisterWindowMessage(L""), 0u);
}

}  // namespace
