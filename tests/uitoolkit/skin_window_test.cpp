// The skinned window without a display: input routed to controls and turned into notifications,
// the controls' timers, default keys and buttons, modal runs and their results, repaints of
// rectangles only, and skins that are broken in the ways a skin can be.
#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include "platform/message_loop.h"
#include "platform/text.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "tests/support/TraceCapture.h"
#include "tests/uitoolkit/ProbeSkin.h"
#include "uitoolkit/backend/Display.h"
#include "uitoolkit/controls/Container.h"
#include "uitoolkit/controls/Edit.h"
#include "uitoolkit/controls/Option.h"
#include "uitoolkit/controls/Progress.h"
#include "uitoolkit/window/SkinResource.h"

namespace {

using platform::HWND;
using vkqx_test::PumpMessages;

class ProbeWindow : public ui::SkinWindow {
 public:
  explicit ProbeWindow(std::wstring file = L"Probe.xml") : m_file(std::move(file)) {}
  std::wstring GetWindowClassName() const override { return L"vkqx_probe"; }
  std::wstring GetSkinFile() override { return m_file; }

  std::vector<std::pair<std::wstring, std::wstring>> notes;  // (type, sender name)
  std::vector<platform::WPARAM> sysCommands;
  std::vector<platform::WPARAM> timerIds;
  bool handlesDefaultKeys = true;
  bool finalMessage = false;
  std::function<void()> onNote;

  void Click(int x, int y) { Press(x, y, x, y); }
  void Press(int x, int y, int releaseX, int releaseY) {
    platform::PostMessage(GetHWND(), ui::WM_LBUTTONDOWN, 1, ui::MakePointParam(x, y));
    platform::PostMessage(GetHWND(), ui::WM_LBUTTONUP, 0, ui::MakePointParam(releaseX, releaseY));
  }
  void Center(const wchar_t* name, int* x, int* y) {
    const ui::Rect r = FindControl(name)->GetPos();
    *x = (r.left + r.right) / 2;
    *y = (r.top + r.bottom) / 2;
  }
  void ClickOn(const wchar_t* name) {
    int x, y;
    Center(name, &x, &y);
    Click(x, y);
  }

 protected:
  void Notify(const ui::Notification& n) override {
    notes.emplace_back(n.type, n.sender ? n.sender->Name() : L"");
    if (onNote) onNote();
    if (n.type == ui::notify::kTimer) timerIds.push_back(n.wParam);
    SkinWindow::Notify(n);
  }
  platform::LRESULT HandleMessage(platform::UINT message, platform::WPARAM wParam, platform::LPARAM, bool& handled) override {
    if (message == ui::WM_SYSCOMMAND) sysCommands.push_back(wParam);
    handled = false;
    return 0;
  }
  bool OnDefaultKey(unsigned key) override { return handlesDefaultKeys && SkinWindow::OnDefaultKey(key); }
  void OnFinalMessage(HWND) override { finalMessage = true; }

 private:
  std::wstring m_file;
};

class SkinWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::SetDisplayMode(ui::DisplayMode::kHeadless);
    ASSERT_TRUE(ui::OpenSkinPath(m_skin.Path()));
  }
  void TearDown() override {
    PumpMessages();
    ui::ReleaseSkinArchive();
  }

  vkqx_test::ProbeSkinFolder m_skin;
};

using Notes = std::vector<std::pair<std::wstring, std::wstring>>;

TEST_F(SkinWindowTest, ClicksBecomeNotificationsOfTheControlUnderThePointer) {
  ProbeWindow w;
  ASSERT_TRUE(w.Create(nullptr, L"probe", ui::WS_POPUP));
  auto* check = w.Find<ui::Option>(L"opt_check");
  auto* x = w.Find<ui::Option>(L"opt_x");
  auto* y = w.Find<ui::Option>(L"opt_y");

  w.ClickOn(L"btn_a");
  w.ClickOn(L"btn_off");  // disabled: nothing
  int ax, ay;
  w.Center(L"btn_a", &ax, &ay);
  w.Press(ax, ay, ax, 110);  // released elsewhere: no click
  w.ClickOn(L"opt_check");
  w.ClickOn(L"opt_y");
  w.ClickOn(L"opt_y");  // the selected one of a group stays selected
  w.ClickOn(L"title");  // a label takes no click
  PumpMessages();

  EXPECT_EQ(w.notes, (Notes{{L"click", L"btn_a"},
                            {L"click", L"opt_check"},
                            {L"selectchanged", L"opt_check"},
                            {L"click", L"opt_y"},
                            {L"selectchanged", L"opt_x"},
                            {L"selectchanged", L"opt_y"},
                            {L"click", L"opt_y"}}));
  EXPECT_TRUE(check->IsSelected());
  EXPECT_TRUE(y->IsSelected());
  EXPECT_FALSE(x->IsSelected());

  // Setting state from code tells nobody.
  w.notes.clear();
  check->Selected(false);
  w.Find<ui::Edit>(L"edit")->SetText(L"from code");
  PumpMessages();
  EXPECT_TRUE(w.notes.empty());
  EXPECT_FALSE(check->IsSelected());
}

TEST_F(SkinWindowTest, HotAndPushedFollowThePointer) {
  ProbeWindow w;
  ASSERT_TRUE(w.Create(nullptr, L"probe", ui::WS_POPUP));
  ui::Control* a = w.FindControl(L"btn_a");
  int x, y;
  w.Center(L"btn_a", &x, &y);
  platform::SendMessage(w.GetHWND(), ui::WM_MOUSEMOVE, 0, ui::MakePointParam(x, y));
  EXPECT_TRUE(a->IsHot());
  platform::SendMessage(w.GetHWND(), ui::WM_LBUTTONDOWN, 1, ui::MakePointParam(x, y));
  EXPECT_TRUE(a->IsPushed());
  platform::SendMessage(w.GetHWND(), ui::WM_MOUSEMOVE, 0, ui::MakePointParam(x, 110));
  EXPECT_FALSE(a->IsHot());
  EXPECT_TRUE(a->IsPushed());
  platform::SendMessage(w.GetHWND(), ui::WM_LBUTTONUP, 0, ui::MakePointParam(x, 110));
  EXPECT_FALSE(a->IsPushed());
  platform::SendMessage(w.GetHWND(), ui::WM_MOUSEMOVE, 0, ui::MakePointParam(x, y));
  platform::SendMessage(w.GetHWND(), ui::WM_MOUSELEAVE, 0, 0);
  EXPECT_FALSE(a->IsHot());
}

TEST_F(SkinWindowTest, TypingIntoAnEditSendsTextChanged) {
  ProbeWindow w;
  ASSERT_TRUE(w.Create(nullptr, L"probe", ui::WS_POPUP));
  auto* edit = w.Find<ui::Edit>(L"edit");
  w.ClickOn(L"edit");
  for (wchar_t c : std::wstring(L"安装x")) platform::PostMessage(w.GetHWND(), ui::WM_CHAR, c, 0);
  platform::PostMessage(w.GetHWND(), ui::WM_KEYDOWN, ui::VK_BACK, 0);
  PumpMessages();
  EXPECT_EQ(edit->GetText(), L"安装");
  EXPECT_EQ(w.notes, (Notes{{L"textchanged", L"edit"}, {L"textchanged", L"edit"}, {L"textchanged", L"edit"},
                            {L"textchanged", L"edit"}}));
  EXPECT_EQ(w.Host().Focus(), edit);
}

TEST_F(SkinWindowTest, ControlTimersAndSyntheticNotificationsReachNotify) {
  ProbeWindow w;
  ASSERT_TRUE(w.Create(nullptr, L"probe", ui::WS_POPUP));
  ui::Control* bar = w.FindControl(L"bar");
  ASSERT_TRUE(bar->SetTimer(1, 20));
  ASSERT_TRUE(bar->SetTimer(7, 10));
  // The window's own timer ids stay the window's: they do not become notifications.
  platform::SetTimer(w.GetHWND(), 11, 10, nullptr);
  platform::RunNestedMessageLoop([&] {
    return std::count(w.timerIds.begin(), w.timerIds.end(), 1u) >= 2 && std::count(w.timerIds.begin(), w.timerIds.end(), 7u) >= 2;
  });
  bar->KillTimer(1);
  bar->KillTimer(7);
  platform::KillTimer(w.GetHWND(), 11);
  for (const auto& [type, sender] : w.notes) EXPECT_EQ(sender, L"bar");

  w.notes.clear();
  w.SendNotify(w.FindControl(L"btn_free_not_there"), L"click");
  w.SendNotify(w.FindControl(L"btn_a"), L"custom", 5);
  EXPECT_EQ(w.notes, (Notes{{L"click", L""}, {L"custom", L"btn_a"}}));
}

TEST_F(SkinWindowTest, DefaultKeysAndButtons) {
  {
    ProbeWindow w;
    ASSERT_TRUE(w.Create(nullptr, L"probe", ui::WS_POPUP));
    platform::PostMessage(w.GetHWND(), ui::WM_KEYDOWN, ui::VK_RETURN, 0);  // Enter does nothing
    platform::PostMessage(w.GetHWND(), ui::WM_KEYDOWN, ui::VK_ESCAPE, 0);
    EXPECT_EQ(w.ShowModal(), 1u);
    EXPECT_TRUE(w.finalMessage);
  }
  {
    ProbeWindow w;
    w.handlesDefaultKeys = false;
    ASSERT_TRUE(w.Create(nullptr, L"probe", ui::WS_POPUP));
    platform::PostMessage(w.GetHWND(), ui::WM_KEYDOWN, ui::VK_ESCAPE, 0);
    PumpMessages();
    EXPECT_TRUE(platform::IsWindow(w.GetHWND()));
    w.ClickOn(L"btn_min");
    w.ClickOn(L"btn_close");
    EXPECT_EQ(w.ShowModal(), 1u);
    EXPECT_EQ(w.sysCommands, std::vector<platform::WPARAM>{ui::SC_MINIMIZE});
  }
}

TEST_F(SkinWindowTest, ModalRunDisablesTheOwnerUntilTheWindowCloses) {
  ProbeWindow owner;
  ASSERT_TRUE(owner.Create(nullptr, L"owner", ui::WS_POPUP));
  ProbeWindow box;
  ASSERT_TRUE(box.Create(owner.GetHWND(), L"box", ui::WS_POPUP));

  bool ownerEnabledDuringRun = true;
  box.onNote = [&] { ownerEnabledDuringRun = platform::IsWindowEnabled(owner.GetHWND()); };
  box.ClickOn(L"btn_a");
  owner.ClickOn(L"btn_a");  // handled during the run, while the owner is disabled: no click
  platform::PostMessage(box.GetHWND(), platform::WM_CLOSE, 2, 0);
  EXPECT_EQ(box.ShowModal(), 2u);
  EXPECT_FALSE(ownerEnabledDuringRun);
  EXPECT_EQ(box.notes, (Notes{{L"click", L"btn_a"}}));
  EXPECT_TRUE(owner.notes.empty());
  EXPECT_TRUE(platform::IsWindowEnabled(owner.GetHWND()));

  // Afterwards the owner takes clicks again.
  owner.ClickOn(L"btn_a");
  PumpMessages();
  EXPECT_EQ(owner.notes, (Notes{{L"click", L"btn_a"}}));
}

TEST_F(SkinWindowTest, QuitDuringAModalRunEndsItAndIsPostedAgain) {
  ProbeWindow box;
  ASSERT_TRUE(box.Create(nullptr, L"box", ui::WS_POPUP));
  platform::PostQuitMessage(7);
  EXPECT_EQ(box.ShowModal(), 0u);
  EXPECT_TRUE(platform::IsWindow(box.GetHWND()));
  platform::MSG msg;
  EXPECT_FALSE(platform::GetMessage(&msg));
  EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(SkinWindowTest, OnlyTheChangedControlIsRepainted) {
  ProbeWindow w;
  ASSERT_TRUE(w.Create(nullptr, L"probe", ui::WS_POPUP));
  w.Host().TakeInvalidated();
  auto* bar = w.Find<ui::Progress>(L"bar");
  bar->SetBkImage(L"file='red.png' dest='0,0,50,20'");
  bar->SetValue(50);
  EXPECT_EQ(w.Host().TakeInvalidated(), std::vector<ui::Rect>{bar->GetPos()});
  bar->SetBkImage(L"file='red.png' dest='0,0,50,20'");  // the same text: nothing to do
  EXPECT_TRUE(w.Host().TakeInvalidated().empty());
  // A control on a page that is not shown repaints nothing.
  w.FindControl(L"page0")->SetText(L"x");
  EXPECT_TRUE(w.Host().TakeInvalidated().empty());
}

// Reads pixel (x, y) of a rendered window as 0xAARRGGBB.
uint32_t PixelAt(ui::SkinWindow& w, int x, int y) {
  cairo_surface_t* s = w.Host().Render(1);
  const uint32_t pixel =
      *reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s) + x * 4);
  cairo_surface_destroy(s);
  return pixel;
}

TEST_F(SkinWindowTest, BrokenSkinsFailCreationWithALogLineOrAreSkippedInPart) {
  {
    // Unknown elements (with what they hold) and attributes are skipped; a missing image is
    // skipped and the next layer of the same attribute still drawn.
    vkqx_test::TraceCapture trace;
    ProbeWindow w;
    ASSERT_TRUE(w.Create(nullptr, L"probe", ui::WS_POPUP));
    EXPECT_EQ(w.FindControl(L"ignored"), nullptr);
    EXPECT_EQ(w.FindControl(L"inside_unknown"), nullptr);
    const ui::Rect bar = w.FindControl(L"bar")->GetPos();
    EXPECT_EQ(PixelAt(w, bar.left + 50, bar.top + 15), 0xFFFF0000u);
    EXPECT_EQ(trace.Count(L"missing.png"), 1u) << trace.Dump();
    PixelAt(w, 0, 0);
    EXPECT_EQ(trace.Count(L"missing.png"), 1u) << "logged once, not at every paint";
  }
  struct Bad {
    const char* what;
    std::string file;
    std::string content;
  };
  for (const Bad& bad : std::vector<Bad>{{"broken XML", "Broken.xml", "<Window size='1,1'><VerticalLayout>"},
                                         {"no root container", "Empty.xml", "<Window size='1,1'><Font id='0'/></Window>"},
                                         {"a control as root", "Label.xml", "<Window><Label/></Window>"},
                                         {"missing file", "", ""}}) {
    const std::wstring name = bad.file.empty() ? L"Nowhere.xml" : platform::Utf8ToWide(bad.file);
    if (!bad.file.empty()) std::ofstream(m_skin.Sub(bad.file)) << bad.content;
    ASSERT_TRUE(ui::OpenSkinPath(m_skin.Path()));  // sees the new file
    vkqx_test::TraceCapture trace;
    ProbeWindow w(name);
    EXPECT_EQ(w.Create(nullptr, L"bad", ui::WS_POPUP), nullptr) << bad.what;
    EXPECT_FALSE(w.finalMessage) << bad.what;
    EXPECT_TRUE(trace.Has(L"SkinWindow::Create() 皮肤加载失败 class:vkqx_probe skin:" + name)) << bad.what << "\n" << trace.Dump();
  }
}

TEST_F(SkinWindowTest, AnArchiveThatIsNotAZipIsRefusedWithALogLine) {
  vkqx_test::TraceCapture trace;
  EXPECT_FALSE(ui::OpenSkinBytes(""));
  EXPECT_FALSE(ui::OpenSkinBytes("PK\x03\x04 but nothing more"));
  EXPECT_EQ(trace.Count(L"OpenSkinBytes() 皮肤资源不是有效的zip"), 2u) << trace.Dump();
  std::string error;
  EXPECT_FALSE(ui::SkinArchive::FromPath(m_skin.Sub("red.png"), &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
