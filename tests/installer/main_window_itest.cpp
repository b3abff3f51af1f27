// The real program's window on an X server of the test's own, clicked with xdotool as a person
// would, against the same loopback servers as the hidden runs: the straight way from the welcome
// page to the launcher, the agreement notice and the exit question, a network failure's single box
// with retries underneath it, and a bad package's box with its new download. A picture of each
// page and box goes to the test output (build/Testing/Temporary/main_window_*.png).
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/installer/InstallWorld.h"
#include "tests/support/XvfbServer.h"

namespace {

namespace fs = std::filesystem;
using vkqx_test::InstallWorld;
using vkqx_test::InstallWorldOptions;

constexpr char kTitle[] = "安装Qarnath3";
constexpr char kNoticeTitle[] = "提示信息";
// Points of the skin, relative to their windows.
constexpr int kInstallX = 269, kInstallY = 259;  // btn_install
constexpr int kAgreeX = 41, kAgreeY = 335;       // opt_agree
constexpr int kCloseX = 527, kCloseY = 11;       // btn_close
constexpr int kBoxOkX = 170, kBoxOkY = 93;       // btn_ok of a two-button box
constexpr int kBoxSoleX = 240, kBoxSoleY = 93;   // btn_ok alone, or btn_cancel

class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_xvfb = new vkqx_test::XvfbServer;
    ASSERT_TRUE(s_xvfb->Start()) << "Xvfb did not start";
  }
  static void TearDownTestSuite() { delete s_xvfb; }

  void Click(unsigned long window, int x, int y) {
    vkqx_test::WindowGeometry g;
    ASSERT_TRUE(vkqx_test::GetWindowGeometry(window, &g));
    ASSERT_TRUE(vkqx_test::ClickAt(g.x + x, g.y + y));
  }
  // The whole screen's part under the main window, into the test output.
  void Shot(unsigned long window, const std::string& name) {
    vkqx_test::WindowGeometry g;
    if (!vkqx_test::GetWindowGeometry(window, &g)) return;
    const std::string out = vkqx_test::BuildDir() + "/Testing/Temporary/main_window_" + name + ".png";
    fs::create_directories(fs::path(out).parent_path());
    vkqx_test::RunProgram(vkqx_test::FindProgram("import"), {"-display", s_xvfb->Display(), "-window", "root", "-crop",
                                     std::to_string(g.width) + "x" + std::to_string(g.height) + "+" +
                                         std::to_string(g.x) + "+" + std::to_string(g.y),
                                     "+repage", out});
  }
  static size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }
  static int ExitCode(vkqx_test::InstallerProcess& p, int timeoutMs = 120000) {
    int status = 0;
    if (!p.WaitExit(timeoutMs, &status)) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  static vkqx_test::XvfbServer* s_xvfb;
};
vkqx_test::XvfbServer* MainWindowTest::s_xvfb = nullptr;

TEST_F(MainWindowTest, WelcomeInstallProgressThenTheLauncherStartsAndTheWindowCloses) {
  InstallWorldOptions options;
  options.limitRate = "250k";  // slow enough to see the progress page
  InstallWorld world(options);
  ASSERT_TRUE(world.Start());
  auto process = world.Run({});
  const unsigned long main = vkqx_test::WaitForWindow(kTitle);
  ASSERT_NE(main, 0u) << process->Output();
  Shot(main, "welcome");
  Click(main, kInstallX, kInstallY);
  ASSERT_TRUE(process->WaitForLine("CMainDlg::OnProgress()", 60000)) << process->Output();
  Shot(main, "downloading");
  ASSERT_EQ(ExitCode(*process), 0) << process->Output();
  // The proposed directory: the default folder on the first proposed drive, D:.
  const std::string dir = world.dir.Sub("d/Velkor网络/VelkorTessary");
  EXPECT_EQ(vkqx_test::ReadFileText(dir + "/tg.id"), "16000054");
  ASSERT_TRUE(vkqx_test::AwaitLauncherRecord(dir));
  EXPECT_EQ(vkqx_test::LauncherRecord(dir), std::vector<std::string>{"-i 1008 -d"});
}

TEST_F(MainWindowTest, WithoutTheAgreementOnlyTheNoticeShowsAndTheExitQuestionDecides) {
  InstallWorld world;
  ASSERT_TRUE(world.Start());
  auto process = world.Run({});
  const unsigned long main = vkqx_test::WaitForWindow(kTitle);
  ASSERT_NE(main, 0u) << process->Output();
  Click(main, kAgreeX, kAgreeY);
  Click(main, kInstallX, kInstallY);
  const unsigned long notice = vkqx_test::WaitForWindow(kNoticeTitle);
  ASSERT_NE(notice, 0u);
  Shot(main, "agreement_notice");
  Click(notice, kBoxSoleX, kBoxSoleY);
  // The page stayed: no attempt was started.
  EXPECT_EQ(Count(process->Output(), "CMainDlg 开始安装"), 0u);

  // The exit question: "取消" keeps the window, "确定" ends the program with 0.
  Click(main, kCloseX, kCloseY);
  unsigned long question = vkqx_test::WaitForWindow("退出安装");
  ASSERT_NE(question, 0u);
  Shot(main, "exit_question");
  Click(question, kBoxSoleX, kBoxSoleY);
  ASSERT_TRUE(process->WaitForLine("CMainDlg 退出确认 result:2", 20000)) << process->Output();
  Click(main, kCloseX, kCloseY);
  question = vkqx_test::WaitForWindow("退出安装");
  ASSERT_NE(question, 0u);
  Click(question, kBoxOkX, kBoxOkY);
  EXPECT_EQ(ExitCode(*process, 30000), 0) << process->Output();
  EXPECT_EQ(Count(process->Output(), "CMainDlg 退出确认"), 2u);
}

TEST_F(MainWindowTest, ANetworkFailureShowsOneBoxWhileRetriesGoOnUnderIt) {
  InstallWorld world;
  ASSERT_TRUE(world.Start());
  const std::string nowhere = "http://127.0.0.1:9/vkinstall.txt";
  auto process = world.Run({}, {"VKQX_UPDATE_URLS=" + nowhere + ";" + nowhere + ";" + nowhere});
  const unsigned long main = vkqx_test::WaitForWindow(kTitle);
  ASSERT_NE(main, 0u) << process->Output();
  Click(main, kInstallX, kInstallY);
  ASSERT_NE(vkqx_test::WaitForWindow(kNoticeTitle, false, 60000), 0u) << process->Output();
  Shot(main, "network_error");
  // Two more failures come from the retry timer while the box stays open, and no second box.
  ASSERT_TRUE(process->WaitForOutput([](const std::string& out) { return Count(out, "CMainDlg 网络错误") >= 3; },
                                     90000))
      << process->Output();
  const vkqx_test::ProgramResult boxes = vkqx_test::Xdotool({"search", "--onlyvisible", "--name", kNoticeTitle});
  EXPECT_EQ(Count(boxes.out, "\n"), 1u) << boxes.out;
}

TEST_F(MainWindowTest, ABadPackageOffersANewDownload) {
  InstallWorldOptions options;
  options.md5 = "0123456789abcdef0123456789abcdef";
  InstallWorld world(options);
  ASSERT_TRUE(world.Start());
  auto process = world.Run({});
  const unsigned long main = vkqx_test::WaitForWindow(kTitle);
  ASSERT_NE(main, 0u) << process->Output();
  Click(main, kInstallX, kInstallY);
  unsigned long box = vkqx_test::WaitForWindow(kNoticeTitle, false, 60000);
  ASSERT_NE(box, 0u) << process->Output();
  Shot(main, "bad_package");
  Click(box, kBoxOkX, kBoxOkY);  // "重新下载"
  ASSERT_TRUE(process->WaitForOutput([](const std::string& out) { return Count(out, "安装包校验失败") >= 2; }, 60000))
      << process->Output();
  box = vkqx_test::WaitForWindow(kNoticeTitle, false, 30000);
  ASSERT_NE(box, 0u);
  Click(box, kBoxSoleX, kBoxSoleY);  // "退出安装"
  EXPECT_EQ(ExitCode(*process, 30000), 0) << process->Output();
  EXPECT_FALSE(fs::exists(world.dir.Sub("d/Velkor网络/VelkorTessary/VelkorLauncher.exe")));
}

}  // namespace
