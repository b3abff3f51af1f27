#include "installer/MainApp.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "commonlib/http/DNSThread.h"
#include "commonlib/thread/MainThreadTask.h"
#include "installer/AppSettings.h"
#include "platform/message_loop.h"

namespace {

TEST(StatIdentityTest, TagsCarryANonZeroGameId) {
  struct Case {
    int gameId;
    const wchar_t* version;
    const wchar_t* name;
  };
  for (const Case& c : {Case{0, L"1.0.2|mini_downloader", L"mini_downloader"},
                        Case{1008, L"1.0.2|mini_downloader|GameId:1008", L"mini_downloader|id:1008"},
                        Case{-7, L"1.0.2|mini_downloader|GameId:-7", L"mini_downloader|id:-7"}}) {
    const StatIdentity identity = BuildStatIdentity(c.gameId);
    EXPECT_EQ(identity.versionTag, c.version);
    EXPECT_EQ(identity.nameTag, c.name);
  }
}

int g_ran = 0;
void Count(int, int) { ++g_ran; }

TEST(MainAppTest, InitStartsTheDispatcherAndUnInitDropsLaterTasks) {
  // Init starts the lookup of the test host: ask a loopback port where nothing answers.
  ::setenv("VKQX_RESOLVERS", "127.0.0.1:9", 1);
  ::setenv("VKQX_TEST_HOST", "nettest.test", 1);
  ReloadSettingsForTesting();
  CMainApp* app = CMainApp::GetInstance();
  EXPECT_EQ(app, CMainApp::GetInstance());
  EXPECT_TRUE(app->m_run);
  EXPECT_FALSE(app->m_hide);
  EXPECT_EQ(app->m_id, 0);

  EXPECT_TRUE(app->Init(nullptr));
  // One test resolver serves the start-up lookup and the commands' retry ladder.
  EXPECT_EQ(CDNSThread::Servers(), std::vector<std::string>{"127.0.0.1:9"});
  EXPECT_EQ(app->m_statUrl, GetDeploymentSettings().statUrl);
  PostMainThreadTask(&Count, 1, 2);
  platform::MSG msg;
  while (platform::PeekMessage(&msg, platform::PM_REMOVE)) platform::DispatchMessage(&msg);
  EXPECT_EQ(g_ran, 1);

  EXPECT_TRUE(app->UnInit());
  EXPECT_EQ(app->m_pMainDlg, nullptr);
  PostMainThreadTask(&Count, 1, 2);
  while (platform::PeekMessage(&msg, platform::PM_REMOVE)) platform::DispatchMessage(&msg);
  EXPECT_EQ(g_ran, 1);
}

}  // namespace
