// skinview --skin DIR|ZIP --window NAME.xml [--tab LAYOUT=INDEX]... [--png OUT.png] [--scale N]
//          [--animate PROGRESS] [--fill PIXELS] [--exit-after MS] [--text NAME=TEXT]...
//
// Without --png the window is shown on the display; --animate redraws the named progress bar
// every 20 ms through the layered background attribute, as the installer's progress page does.
// With VKQX_SKINVIEW_FIRST_FRAME=1 the time from process start to the first painted frame is
// printed ("first frame: N ms").
#include <cairo.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/message_loop.h"
#include "platform/text.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "uitoolkit/backend/Display.h"
#include "uitoolkit/controls/Container.h"
#include "uitoolkit/controls/Progress.h"
#include "uitoolkit/window/SkinResource.h"
#include "uitoolkit/window/SkinWindow.h"

namespace {

struct Options {
  std::string skin;
  std::wstring window;
  std::vector<std::pair<std::wstring, int>> tabs;
  std::vector<std::pair<std::wstring, std::wstring>> texts;
  std::string png;
  int scale = 1;
  std::wstring animate;
  int fill = -1;
  int exitAfterMs = 0;
};

// Seconds since the process started, from the kernel's own record of the start.
double ProcessAgeMs() {
  std::ifstream stat("/proc/self/stat");
  std::string content((std::istreambuf_iterator<char>(stat)), {});
  const size_t close = content.rfind(')');
  if (close == std::string::npos) return -1;
  std::vector<std::string> fields;
  size_t pos = close + 2;
  while (pos < content.size()) {
    const size_t space = content.find(' ', pos);
    fields.push_back(content.substr(pos, space - pos));
    if (space == std::string::npos) break;
    pos = space + 1;
  }
  if (fields.size() < 20) return -1;
  const double startTicks = std::stod(fields[19]);  // field 22: start time in clock ticks since boot
  timespec now;
  clock_gettime(CLOCK_BOOTTIME, &now);
  const double nowMs = now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
  return nowMs - startTicks * 1000.0 / sysconf(_SC_CLK_TCK);
}

// The layered attribute of the installer's bar: empty bar, fill nine-sliced with a right corner
// of at most 110, and the sliding flash pair (which the skin may lack).
class BarAnimation {
 public:
  std::wstring Step(int width, int value) {
    m_flash += 3;
    if (m_flash >= width + 80) m_flash = 0;
    const int x = m_flash;
    const int start = std::max(0, x - 80);
    const int end = std::min(value, x);
    const int start2 = std::max(0, std::min(value, x - 230));
    int srcLeft2 = 0, srcRight2 = 0;
    if (end > start2) {
      srcRight2 = end - x + 230;
      srcLeft2 = start2 - x + 230;
    }
    const int corner = std::min(value, 110);
    wchar_t buffer[519];
    std::swprintf(buffer, 519,
                  L"file='progress_bk.png' dest='0,0,%d,30' \t\t\t\t\t\t\t\t\t   file='progress_fore.png' "
                  L"corner='0,10,%d,10' dest='0,0,%d,30' \t\t\t\t\t\t\t\t\t   file='pro_flash_bk.png' "
                  L"corner='0,0,0,0' dest='%d,0,%d,30' source='%d,0,%d,30' \t\t\t\t\t\t\t\t\t   "
                  L"file='pro_flash_fore.png' corner='0,0,0,0' dest='%d,0,%d,30' source='%d,0,%d,30' "
                  L"\t\t\t\t\t\t\t\t\t   ",
                  width, corner, value, start, x, start - x + 80, 80, start2, end, srcLeft2, srcRight2);
    return buffer;
  }

 private:
  int m_flash = 0;
};

class ViewerWindow : public ui::SkinWindow {
 public:
  explicit ViewerWindow(const Options& options) : m_options(options) {}
  std::wstring GetWindowClassName() const override { return L"vkqx_skinview"; }
  std::wstring GetSkinFile() override { return m_options.window; }

  void PaintSurface(cairo_t* cr, const ui::Rect& clip, int scale) override {
    SkinWindow::PaintSurface(cr, clip, scale);
    if (!m_painted && std::getenv("VKQX_SKINVIEW_FIRST_FRAME")) std::printf("first frame: %.0f ms\n", ProcessAgeMs());
    std::fflush(stdout);
    m_painted = true;
  }

 protected:
  void InitWindow() override {
    for (const auto& [name, index] : m_options.tabs) {
      if (auto* tab = Find<ui::TabLayout>(name)) tab->SelectItem(index);
      else std::fprintf(stderr, "skinview: no tab layout %ls\n", name.c_str());
    }
    for (const auto& [name, text] : m_options.texts)
      if (ui::Control* c = FindControl(name)) c->SetText(text);
    if (!m_options.animate.empty()) {
      m_bar = Find<ui::Progress>(m_options.animate);
      if (m_bar) {
        m_bar->SetTimer(1, 20);
        Redraw();
      } else {
        std::fprintf(stderr, "skinview: no progress %ls\n", m_options.animate.c_str());
      }
    }
  }

  void Notify(const ui::Notification& n) override {
    if (n.type == ui::notify::kTimer && n.sender == m_bar) {
      Redraw();
      return;
    }
    SkinWindow::Notify(n);
  }

  void OnFinalMessage(platform::HWND) override { platform::PostQuitMessage(0); }

 private:
  void Redraw() {
    const int width = m_bar->GetPos().Width();
    const int value = m_options.fill >= 0 ? m_options.fill : width / 2;
    m_bar->SetBkImage(m_animation.Step(width, value));
    m_bar->SetValue(value);
  }

  const Options& m_options;
  ui::Progress* m_bar = nullptr;
  BarAnimation m_animation;
  bool m_painted = false;
};

bool ParseOptions(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto next = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::string value;
    if (arg == "--skin" && next(&o->skin)) continue;
    if (arg == "--window" && next(&value)) o->window = platform::Utf8ToWide(value);
    else if (arg == "--png" && next(&o->png)) continue;
    else if (arg == "--scale" && next(&value)) o->scale = std::max(1, std::atoi(value.c_str()));
    else if (arg == "--animate" && next(&value)) o->animate = platform::Utf8ToWide(value);
    else if (arg == "--fill" && next(&value)) o->fill = std::atoi(value.c_str());
    else if (arg == "--exit-after" && next(&value)) o->exitAfterMs = std::atoi(value.c_str());
    else if ((arg == "--tab" || arg == "--text") && next(&value)) {
      const size_t eq = value.find('=');
      if (eq == std::string::npos) return false;
      const std::wstring name = platform::Utf8ToWide(value.substr(0, eq));
      const std::string rest = value.substr(eq + 1);
      if (arg == "--tab") o->tabs.emplace_back(name, std::atoi(rest.c_str()));
      else o->texts.emplace_back(name, platform::Utf8ToWide(rest));
    } else {
      return false;
    }
  }
  return !o->skin.empty() && !o->window.empty();
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr,
                 "usage: skinview --skin DIR|ZIP --window NAME.xml [--tab LAYOUT=INDEX]... [--text NAME=TEXT]...\n"
                 "                [--png OUT.png] [--scale N] [--animate PROGRESS] [--fill PIXELS] [--exit-after MS]\n");
    return 2;
  }
  if (!ui::OpenSkinPath(options.skin)) return 1;
  if (!options.png.empty()) ui::SetDisplayMode(ui::DisplayMode::kHeadless);

  auto window = std::make_unique<ViewerWindow>(options);
  if (!window->Create(nullptr, L"skinview", ui::WS_POPUP | ui::WS_SYSMENU | ui::WS_MINIMIZEBOX)) {
    std::fprintf(stderr, "skinview: the window could not be built (see the log)\n");
    return 1;
  }
  if (!options.png.empty()) {
    const bool ok = window->Host().RenderToPng(options.png, options.scale);
    if (!ok) std::fprintf(stderr, "skinview: cannot write %s\n", options.png.c_str());
    return ok ? 0 : 1;
  }
  if (!ui::DisplayAvailable()) {
    std::fprintf(stderr, "skinview: no display (use --png)\n");
    return 1;
  }
  window->CenterWindow();
  window->ShowWindow(true, true);
  if (options.exitAfterMs > 0)
    platform::SetTimer(nullptr, 0, static_cast<uint32_t>(options.exitAfterMs),
                       [](platform::HWND, platform::UINT, platform::UINT_PTR, uint32_t) { platform::PostQuitMessage(0); });
  const int code = platform::RunMessageLoop();
  window.reset();
  ui::ReleaseSkinArchive();
  return code;
}
