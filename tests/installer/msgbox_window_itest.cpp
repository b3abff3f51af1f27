// The message box as a real window on an X server of the test's own, driven with xdotool from a
// second thread while the box runs modally on the main thread: the buttons' results, Escape, an
// owner that takes no click, dragging by the caption, and typing Chinese text into an edit.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include "installer/MsgBoxDlg.h"
#include "platform/message_loop.h"
#include "platform/text.h"
#include "platform/window.h"
#include "tests/support/TempDir.h"
#include "tests/support/XvfbServer.h"
#include "uitoolkit/backend/Display.h"
#include "uitoolkit/controls/Container.h"
#include "uitoolkit/controls/Edit.h"
#include "uitoolkit/window/SkinResource.h"

namespace {

using vkqx_test::ClickAt;
using vkqx_test::WaitForWindow;
using vkqx_test::WindowGeometry;
using vkqx_test::Xdotool;

// A main-window stand-in: the installer's skin on a chosen page, recording notifications.
class OwnerWindow : public ui::SkinWindow {
 public:
  std::wstring GetWindowClassName() const override { return L"vkqx_test_owner"; }
  std::wstring GetSkinFile() override { return L"InstallPackages.xml"; }
  std::vector<std::pair<std::wstring, std::wstring>> notes;
  // The edit's text at its last "textchanged", also for the driving thread.
  std::wstring EditText() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_editText;
  }

 protected:
  void Notify(const ui::Notification& n) override {
    notes.emplace_back(n.type, n.sender ? n.sender->Name() : L"");
    if (n.type == ui::notify::kTextChanged) {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_editText = n.sender->GetText();
    }
    SkinWindow::Notify(n);
  }

 private:
  std::mutex m_mutex;
  std::wstring m_editText;
};

class MsgBoxWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_xvfb = new vkqx_test::XvfbServer;
    ASSERT_TRUE(s_xvfb->Start()) << "Xvfb did not start";
    ui::SetDisplayMode(ui::DisplayMode::kAuto);
    ASSERT_TRUE(ui::OpenSkinPath(vkqx_test::SourceDir() + "/installer/skin"));
    ASSERT_TRUE(ui::DisplayAvailable());
  }
  static void TearDownTestSuite() {
    ui::ReleaseSkinArchive();
    delete s_xvfb;
  }

  // Runs `script` on a second thread while `modal` runs on this one.
  template <typename T>
  T WhileDriving(const std::function<void()>& script, const std::function<T()>& modal) {
    std::thread driver(script);
    T result = modal();
    driver.join();
    return result;
  }

  static vkqx_test::XvfbServer* s_xvfb;
};
vkqx_test::XvfbServer* MsgBoxWindowTest::s_xvfb = nullptr;

// Centres of the box's buttons, from its layout.
struct Point {
  int x, y;
};
constexpr Point kOk{170, 93};
constexpr Point kCancel{240, 93};
constexpr Point kClose{267, 11};

// Waits for the window named `title` and clicks at `p` inside it.
void ClickIn(const std::string& title, Point p, WindowGeometry* where = nullptr) {
  const unsigned long id = WaitForWindow("^" + title + "$");
  ASSERT_NE(id, 0ul) << title << " did not show";
  WindowGeometry g;
  ASSERT_TRUE(vkqx_test::GetWindowGeometry(id, &g));
  if (where) *where = g;
  ASSERT_TRUE(ClickAt(g.x + p.x, g.y + p.y));
}

TEST_F(MsgBoxWindowTest, TheButtonsGiveTheirResults) {
  struct Case {
    const char* title;
    Point button;
    platform::UINT result;
  };
  for (const Case& c : {Case{"box-ok", kOk, 1}, Case{"box-cancel", kCancel, 2}, Case{"box-close", kClose, 2}}) {
    const platform::UINT result = WhileDriving<platform::UINT>([&] { ClickIn(c.title, c.button); }, [&] {
      return ShowMessageBox(nullptr, platform::Utf8ToWide(c.title), L"是否退出安装？", L"", L"", L"", true, true);
    });
    EXPECT_EQ(result, c.result) << c.title;
  }
}

TEST_F(MsgBoxWindowTest, EscapeAndEnterDoNothing) {
  const platform::UINT result = WhileDriving<platform::UINT>(
      [] {
        const unsigned long id = WaitForWindow("^box-keys$");
        ASSERT_NE(id, 0ul);
        WindowGeometry g;
        ASSERT_TRUE(vkqx_test::GetWindowGeometry(id, &g));
        // Keys go to the window under the pointer when no window manager gives focus.
        Xdotool({"mousemove", "--sync", std::to_string(g.x + 100), std::to_string(g.y + 60)});
        Xdotool({"key", "Escape", "Return"});
        // Had Escape closed the box, its result would be 1 and this click would miss.
        ASSERT_TRUE(ClickAt(g.x + kCancel.x, g.y + kCancel.y));
      },
      [] { return ShowMessageBox(nullptr, L"box-keys", L"是否退出安装？", L"", L"", L"", true, true); });
  EXPECT_EQ(result, 2u);
}

TEST_F(MsgBoxWindowTest, TheOwnerTakesNoClickWhileTheBoxRuns) {
  OwnerWindow owner;
  ASSERT_TRUE(owner.Create(nullptr, L"owner", ui::WS_POPUP | ui::WS_SYSMENU | ui::WS_MINIMIZEBOX));
  owner.CenterWindow();
  owner.ShowWindow(true, true);
  const platform::UINT result = WhileDriving<platform::UINT>(
      [] {
        ASSERT_NE(WaitForWindow("^box-owned$"), 0ul);
        ClickIn("owner", Point{269, 259});  // btn_install, clear of the box
        ClickIn("box-owned", kCancel);
      },
      [&] { return ShowMessageBox(owner.GetHWND(), L"box-owned", L"是否退出安装？", L"", L"", L"", true, true); });
  EXPECT_EQ(result, 2u);
  EXPECT_TRUE(owner.notes.empty()) << platform::WideToUtf8(owner.notes.front().second);
  EXPECT_TRUE(platform::IsWindowEnabled(owner.GetHWND()));
  // Once the box is gone the owner answers again.
  std::thread driver([] { ClickIn("owner", Point{269, 259}); });
  platform::RunNestedMessageLoop([&] { return !owner.notes.empty(); });
  driver.join();
  EXPECT_EQ(owner.notes.front(), (std::pair<std::wstring, std::wstring>{L"click", L"btn_install"}));
}

TEST_F(MsgBoxWindowTest, DraggingTheCaptionMovesTheWindow) {
  WindowGeometry before, after;
  const platform::UINT result = WhileDriving<platform::UINT>(
      [&] {
        const unsigned long id = WaitForWindow("^box-drag$");
        ASSERT_NE(id, 0ul);
        ASSERT_TRUE(vkqx_test::GetWindowGeometry(id, &before));
        const int x = before.x + 60, y = before.y + 15;  // on the title, which does not take clicks
        Xdotool({"mousemove", "--sync", std::to_string(x), std::to_string(y), "mousedown", "1", "mousemove", "--sync",
                 std::to_string(x + 50), std::to_string(y + 30), "mousemove", "--sync", std::to_string(x + 100),
                 std::to_string(y + 60), "mouseup", "1"});
        // Wait until the server has the window at its new place, then close it there.
        for (int i = 0; i < 200 && (after.x != before.x + 100 || after.y != before.y + 60); ++i)
          vkqx_test::GetWindowGeometry(id, &after);
        ASSERT_TRUE(ClickAt(after.x + kOk.x, after.y + kOk.y));
      },
      [] { return ShowMessageBox(nullptr, L"box-drag", L"是否退出安装？", L"", L"", L"", true, true); });
  EXPECT_EQ(after.x, before.x + 100);
  EXPECT_EQ(after.y, before.y + 60);
  EXPECT_EQ(result, 1u);
}

TEST_F(MsgBoxWindowTest, TypingIntoAnEditChangesItsTextAndTellsTheWindow) {
  OwnerWindow window;
  ASSERT_TRUE(window.Create(nullptr, L"typing", ui::WS_POPUP));
  window.Find<ui::TabLayout>(L"tb_main")->SelectItem(1);
  window.CenterWindow();
  std::thread driver([&window] {
    ClickIn("typing", Point{229, 294});  // edit_input
    // xdotool types a character the keyboard map lacks by mapping it to a spare key for a moment;
    // a window that reads the key after the map is restored sees nothing. So each character is
    // typed, waited for, and typed again in the rare case it was lost that way.
    const std::wstring text = L"安装abc";
    for (size_t i = 0; i < text.size(); ++i) {
      const std::wstring want = text.substr(0, i + 1);
      for (int attempt = 0; attempt < 3 && window.EditText() != want; ++attempt) {
        Xdotool({"type", "--delay", "100", platform::WideToUtf8(text.substr(i, 1))});
        for (int poll = 0; poll < 200 && window.EditText() != want; ++poll)
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    Xdotool({"key", "Escape"});  // the window's default key closes it, after the typing
  });
  const platform::UINT result = window.ShowModal();
  driver.join();
  EXPECT_EQ(result, 1u);
  size_t changes = 0;
  for (const auto& [type, sender] : window.notes)
    if (type == L"textchanged" && sender == L"edit_input") ++changes;
  EXPECT_GE(changes, 1u);
  EXPECT_EQ(window.EditText(), L"安装abc");
}

}  // namespace
