// The shipped skin painted off-screen and compared with the golden pictures kept beside this
// file: the message box (at display scale 1 and 2) and the main window's three pages. A small
// share of pixels may differ a little (font rasterisation); a failed comparison writes the actual
// picture and a difference picture next to the test log. VKQX_UPDATE_GOLDENS=1 rewrites them.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdlib>
#include <functional>
#include <fstream>
#include <sstream>

#include "tests/support/TempDir.h"
#include "tests/uitoolkit/EmbeddedSkin.h"
#include "uitoolkit/controls/Container.h"
#include "uitoolkit/controls/Progress.h"
#include "uitoolkit/skin/SkinArchive.h"
#include "uitoolkit/window/ControlHost.h"

namespace {

constexpr int kChannelTolerance = 24;
constexpr double kMaxDifferingShare = 0.005;

struct Picture {
  std::string name;
  const wchar_t* file;
  int scale;
  std::function<void(ui::ControlHost&)> setUp;
};

void SetText(ui::ControlHost& host, const wchar_t* name, const wchar_t* text) {
  ui::Control* c = host.FindControl(name);
  ASSERT_NE(c, nullptr);
  c->SetText(text);
}

void SelectPage(ui::ControlHost& host, int page) {
  auto* tabs = dynamic_cast<ui::TabLayout*>(host.FindControl(L"tb_main"));
  ASSERT_NE(tabs, nullptr);
  tabs->SelectItem(page);
}

void ErrorBox(ui::ControlHost& host) {
  SetText(host, L"lb_title", L"提示信息");
  SetText(host, L"lb_text", L"连接超时，请检查网络是否正常");
  SetText(host, L"lb_code", L"code:28 type:5");
  SetText(host, L"btn_ok", L"重试");
  host.FindControl(L"hlt_btn_0")->SetVisible(false);
}

// A message that wraps to two lines: both must stay whole inside the text row.
void OverwriteQuestionBox(ui::ControlHost& host) {
  SetText(host, L"lb_title", L"提示信息");
  SetText(host, L"lb_text", L"您已经安装了VelkorTessary，是否覆盖安装？");
  SetText(host, L"btn_ok", L"覆盖安装");
  SetText(host, L"btn_cancel", L"直接启动");
  host.FindControl(L"btn_close")->SetVisible(false);
}

// Compares; on a difference writes <name>.actual.png and <name>.diff.png beside the test log.
void ExpectMatchesGolden(cairo_surface_t* actual, const std::string& name) {
  const std::string golden = vkqx_test::SourceDir() + "/tests/uitoolkit/golden/" + name + ".png";
  if (std::getenv("VKQX_UPDATE_GOLDENS")) {
    ASSERT_EQ(cairo_surface_write_to_png(actual, golden.c_str()), CAIRO_STATUS_SUCCESS);
    return;
  }
  cairo_surface_t* expected = cairo_image_surface_create_from_png(golden.c_str());
  ASSERT_EQ(cairo_surface_status(expected), CAIRO_STATUS_SUCCESS) << "no golden " << golden;
  const int w = cairo_image_surface_get_width(actual), h = cairo_image_surface_get_height(actual);
  ASSERT_EQ(cairo_image_surface_get_width(expected), w) << name;
  ASSERT_EQ(cairo_image_surface_get_height(expected), h) << name;
  cairo_surface_t* diff = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_surface_flush(expected);
  long differing = 0;
  for (int y = 0; y < h; ++y) {
    auto* a = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(actual) + y * cairo_image_surface_get_stride(actual));
    auto* e = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(expected) + y * cairo_image_surface_get_stride(expected));
    auto* d = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(diff) + y * cairo_image_surface_get_stride(diff));
    for (int x = 0; x < w; ++x) {
      int worst = 0;
      for (int shift = 0; shift < 32; shift += 8)
        worst = std::max(worst, std::abs(static_cast<int>((a[x] >> shift) & 0xFF) - static_cast<int>((e[x] >> shift) & 0xFF)));
      const uint32_t grey = ((e[x] >> 8) & 0xFF) / 3;
      d[x] = worst > kChannelTolerance ? 0xFFFF0000u : (0xFF000000u | grey << 16 | grey << 8 | grey);
      if (worst > kChannelTolerance) ++differing;
    }
  }
  cairo_surface_mark_dirty(diff);
  const double share = static_cast<double>(differing) / (static_cast<double>(w) * h);
  if (share > kMaxDifferingShare) {
    const std::string out = vkqx_test::BuildDir() + "/Testing/Temporary/" + name;
    cairo_surface_write_to_png(actual, (out + ".actual.png").c_str());
    cairo_surface_write_to_png(diff, (out + ".diff.png").c_str());
    ADD_FAILURE() << name << ": " << differing << " pixels differ (" << share * 100 << " %); see " << out
                  << ".actual.png and .diff.png";
  }
  cairo_surface_destroy(diff);
  cairo_surface_destroy(expected);
}

TEST(SkinPictures, MatchTheGoldens) {
  auto skin = vkqx_test::EmbeddedSkin();
  ASSERT_TRUE(skin);
  const std::vector<Picture> pictures = {
      {"message_box", L"MessageBox.xml", 1, ErrorBox},
      {"message_box@2x", L"MessageBox.xml", 2, ErrorBox},
      {"message_box_wrapped", L"MessageBox.xml", 1, OverwriteQuestionBox},
      {"main_welcome", L"InstallPackages.xml", 1, [](ui::ControlHost& h) { SelectPage(h, 0); }},
      {"main_directory", L"InstallPackages.xml", 1,
       [](ui::ControlHost& h) {
         SelectPage(h, 1);
         SetText(h, L"edit_input", L"C:\\Program Files\\VelkorTessary");
         SetText(h, L"lb_tip", L"所需磁盘空间：150.00MB          可用磁盘空间：12.50GB");
       }},
      {"main_progress", L"InstallPackages.xml", 1,
       [](ui::ControlHost& h) {
         SelectPage(h, 2);
         SetText(h, L"lb_speed", L"剩余10.00MB @ 1.20MB/s");
         // The bar as the progress page draws it: 300 pixels filled, the flash at 200.
         h.FindControl(L"pro_InstallProgress")
             ->SetBkImage(
                 L"file='progress_bk.png' dest='0,0,500,30' \t\t\t\t\t\t\t\t\t   file='progress_fore.png' "
                 L"corner='0,10,110,10' dest='0,0,300,30' \t\t\t\t\t\t\t\t\t   file='pro_flash_bk.png' "
                 L"corner='0,0,0,0' dest='120,0,200,30' source='0,0,80,30' \t\t\t\t\t\t\t\t\t   "
                 L"file='pro_flash_fore.png' corner='0,0,0,0' dest='0,0,200,30' source='30,0,230,30' "
                 L"\t\t\t\t\t\t\t\t\t   ");
       }},
  };
  for (const Picture& p : pictures) {
    SCOPED_TRACE(p.name);
    auto host = vkqx_test::LoadHost(skin.get(), p.file);
    ASSERT_NE(host->Root(), nullptr);
    p.setUp(*host);
    cairo_surface_t* actual = host->Render(p.scale);
    ExpectMatchesGolden(actual, p.name);
    cairo_surface_destroy(actual);
  }
}

}  // namespace
