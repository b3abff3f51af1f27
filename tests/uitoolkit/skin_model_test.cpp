// The shipped skins load into trees whose controls stand where the windows' layouts say, read
// from the zip the program embeds; the tree answers the way the windows' code uses it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/text.h"
#include "tests/support/TempDir.h"
#include "tests/uitoolkit/EmbeddedSkin.h"
#include "uitoolkit/controls/Container.h"
#include "uitoolkit/controls/Option.h"
#include "uitoolkit/skin/SkinArchive.h"
#include "uitoolkit/window/ControlHost.h"

namespace {

using ui::Rect;
using vkqx_test::EmbeddedSkin;
using vkqx_test::LoadHost;

struct Expected {
  const wchar_t* name;
  Rect rect;  // window coordinates
};

void ExpectRects(ui::ControlHost& host, const std::vector<Expected>& table) {
  for (const Expected& e : table) {
    ui::Control* c = host.FindControl(e.name);
    ASSERT_NE(c, nullptr) << "no control " << platform::WideToUtf8(e.name);
    const Rect& r = c->GetPos();
    EXPECT_EQ(r, e.rect) << platform::WideToUtf8(e.name) << " is at " << r.left << "," << r.top << "," << r.right
                         << "," << r.bottom;
  }
}

TEST(SkinModel, MainWindowControlsStandWhereTheLayoutSays) {
  auto skin = EmbeddedSkin();
  ASSERT_TRUE(skin);
  auto loaded = LoadHost(skin.get(), L"InstallPackages.xml");
  ui::ControlHost& host = *loaded;
  ASSERT_NE(host.Root(), nullptr);

  const ui::WindowDesc& w = host.Window();
  EXPECT_EQ(w.size, (ui::Size{540, 355}));
  EXPECT_EQ(w.minInfo, w.size);
  EXPECT_EQ(w.maxInfo, w.size);
  EXPECT_EQ(w.caption, (Rect{0, 0, 0, 100}));
  EXPECT_EQ(w.shadowImage, L"shadow.png");
  EXPECT_EQ(w.shadowCorner, (Rect{5, 4, 5, 6}));
  EXPECT_EQ(w.roundCorner, (ui::Size{2, 2}));
  EXPECT_EQ(w.fonts.Find(-1)->name, L"宋体");
  EXPECT_EQ(w.fonts.Find(1)->name, L"微软雅黑");
  EXPECT_EQ(w.fonts.Find(1)->size, 12);

  // Page 0 bar at 313 (42 high), page 1 bar at 245 (110), page 2 bar at 301 (54).
  ExpectRects(host, {
                        {L"tb_main", {0, 0, 540, 355}},
                        {L"btn_install", {177, 237, 361, 281}},
                        {L"opt_agree", {13, 323, 69, 347}},
                        {L"btn_agreement", {64, 330, 136, 341}},
                        {L"btn_free", {448, 329, 525, 342}},
                        {L"edit_input", {36, 280, 423, 309}},
                        {L"btn_select", {421, 280, 505, 309}},
                        {L"lb_tip", {36, 323, 436, 341}},
                        {L"btn_install2", {407, 318, 507, 346}},
                        {L"pro_InstallProgress", {18, 303, 518, 333}},
                        {L"lb_download", {18, 329, 78, 349}},
                        {L"lb_speed", {300, 329, 518, 349}},
                        {L"btn_min", {488, 0, 513, 23}},
                        {L"btn_close", {515, 0, 540, 23}},
                    });

  auto* tabs = dynamic_cast<ui::TabLayout*>(host.FindControl(L"tb_main"));
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->Count(), 3u);
  EXPECT_EQ(tabs->GetCurSel(), 0);
  auto* agree = dynamic_cast<ui::Option*>(host.FindControl(L"opt_agree"));
  ASSERT_NE(agree, nullptr);
  EXPECT_TRUE(agree->IsSelected());
  EXPECT_EQ(agree->GetText(), L"同意");
  EXPECT_EQ(host.FindControl(L"lb_download")->GetText(), L"下载中");
  EXPECT_EQ(host.FindControl(L"lb_tip")->GetTextColor(), 0xFF444343u);
  EXPECT_EQ(host.FindControl(L"btn_min")->GetToolTip(), L"最小化");
  EXPECT_EQ(host.FindControl(L"btn_close")->GetToolTip(), L"关闭");

  // Only the selected page is shown; the caption takes the top 100 pixels except the buttons.
  EXPECT_TRUE(host.FindControl(L"btn_install")->IsShown());
  EXPECT_FALSE(host.FindControl(L"edit_input")->IsShown());
  tabs->SelectItem(1);
  EXPECT_TRUE(host.FindControl(L"edit_input")->IsShown());
  EXPECT_FALSE(host.FindControl(L"btn_install")->IsShown());
  EXPECT_TRUE(host.IsCaptionAt(100, 50));
  EXPECT_FALSE(host.IsCaptionAt(500, 10));  // btn_min
  EXPECT_FALSE(host.IsCaptionAt(100, 100));
}

TEST(SkinModel, MessageBoxControlsStandWhereTheLayoutSays) {
  auto skin = EmbeddedSkin();
  ASSERT_TRUE(skin);
  auto loaded = LoadHost(skin.get(), L"MessageBox.xml");
  ui::ControlHost& host = *loaded;
  ASSERT_NE(host.Root(), nullptr);
  EXPECT_EQ(host.Window().size, (ui::Size{280, 115}));
  EXPECT_EQ(host.Window().caption, (Rect{0, 0, 0, 35}));
  EXPECT_EQ(host.Window().fonts.Find(1)->size, 13);

  // Title bar 0..30, 12-pixel gap, the message row 42..71, the button row 71..115 (inset 10/9).
  ExpectRects(host, {
                        {L"lb_title", {5, 5, 258, 27}},
                        {L"btn_close", {255, 0, 280, 23}},
                        {L"hlt_tip_icon", {20, 42, 49, 71}},
                        {L"lb_text", {59, 42, 270, 71}},
                        {L"lb_code", {10, 91, 140, 106}},
                        {L"btn_ok", {140, 81, 200, 106}},
                        {L"hlt_btn_0", {210, 81, 280, 106}},
                        {L"btn_cancel", {210, 81, 270, 106}},
                    });
  EXPECT_EQ(host.FindControl(L"lb_title")->GetText(), L"退出安装");
  EXPECT_EQ(host.FindControl(L"btn_ok")->GetText(), L"确定");
  EXPECT_EQ(host.FindControl(L"btn_cancel")->GetText(), L"取消");

  // Without the cancel group the OK button moves to the right edge.
  host.FindControl(L"hlt_btn_0")->SetVisible(false);
  ExpectRects(host, {{L"btn_ok", {210, 81, 270, 106}}, {L"lb_code", {10, 91, 210, 106}}});
  EXPECT_FALSE(host.FindControl(L"btn_cancel")->IsShown());
}

}  // namespace
