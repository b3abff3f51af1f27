// labels: threaded
#include "installer/Install/InstallProgress.h"

#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

#include "installer/Install/InstallReport.h"
#include "platform/message_loop.h"
#include "platform/window.h"

namespace {

using namespace install;

// The pace the window's 100 ms timer gives the bar while the package runs: 150 ticks to 450,
// 113 more past 675, 225 more to 900 (about 49 s); once the package has returned, 9 a tick.
TEST(InstallProgressTest, CounterPaceWhileInstallingAndAfterwards) {
  CInstallProgress progress;
  int ticks = 0;
  while (progress.Counter() < kInstallCounterEnd) {
    progress.Tick();
    ++ticks;
    if (ticks == 150) {
      EXPECT_EQ(progress.Counter(), 450);
    }
  }
  EXPECT_EQ(ticks, 488);
  EXPECT_EQ(progress.Counter(), kInstallCounterEnd);

  progress.Reset();
  EXPECT_EQ(progress.Counter(), 0);
  progress.Tick();
  progress.SetLaunching();
  EXPECT_EQ(progress.Tick(), 12);
  EXPECT_FALSE((progress.Reset(), progress.IsLaunching()));
}

std::vector<std::pair<platform::UINT, platform::WPARAM>> g_received;

platform::LRESULT ReceivingProc(platform::HWND hwnd, platform::UINT message, platform::WPARAM wParam,
                                platform::LPARAM lParam) {
  if (message >= platform::WM_USER || message == platform::WM_CLOSE) g_received.emplace_back(message, wParam);
  if (message == platform::WM_CLOSE) return 0;
  return platform::DefWindowProc(hwnd, message, wParam, lParam);
}

// The install thread's reports arrive as messages on the window's own thread, in order.
TEST(InstallReportTest, WindowReportPostsToTheWindowThread) {
  platform::RegisterClass({&ReceivingProc, L"InstallReportTestWindow"});
  const platform::HWND window =
      platform::CreateWindow(L"InstallReportTestWindow", L"", 0, 0, platform::HWND_MESSAGE, nullptr);
  ASSERT_NE(window, nullptr);
  CInstallWindowReport report(window);
  std::thread worker([&report] {
    report.OnInstallPhase(InstallPhase::kInstalling);
    report.OnBadPackage();
    report.OnInstallDone();
  });
  worker.join();
  EXPECT_TRUE(g_received.empty()) << "nothing runs on the worker";
  platform::MSG msg;
  while (platform::PeekMessage(&msg, platform::PM_REMOVE)) platform::DispatchMessage(&msg);
  const std::vector<std::pair<platform::UINT, platform::WPARAM>> expected{
      {1125, 1}, {1124, 0}, {platform::WM_CLOSE, 1}};
  EXPECT_EQ(g_received, expected);
  EXPECT_STREQ(InstallPhaseText(InstallPhase::kInstalling), L"安装中");

  // A window that is gone takes nothing, and the thread goes on.
  platform::DestroyWindow(window);
  g_received.clear();
  report.OnInstallDone();
  while (platform::PeekMessage(&msg, platform::PM_REMOVE)) platform::DispatchMessage(&msg);
  EXPECT_TRUE(g_received.empty());
}

}  // namespace
