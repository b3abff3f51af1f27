// The installer started twice on an X server of the test's own: the second copy shows the notice
// box and ends with 0 once it is answered; with -h it shows nothing and ends at once.
#include <gtest/gtest.h>

#include "tests/installer/InstallerProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/XvfbServer.h"

namespace {

using vkqx_test::InstallerProcess;

TEST(NoticeWindow, TheSecondCopyShowsTheNoticeAndEndsWithZero) {
  vkqx_test::XvfbServer xvfb;
  ASSERT_TRUE(xvfb.Start());
  vkqx_test::TempDir runtime;
  InstallerProcess first({}, runtime.path());
  ASSERT_TRUE(first.WaitForLine(vkqx_test::kLoopRunning, vkqx_test::kStartTimeoutMs)) << first.Output();

  {
    InstallerProcess second({}, runtime.path());
    const unsigned long box = vkqx_test::WaitForWindow("^提示信息$");
    ASSERT_NE(box, 0ul) << second.Output();
    int status = -1;
    EXPECT_FALSE(second.WaitExit(0, &status)) << "it waits for the answer";
    vkqx_test::WindowGeometry g;
    ASSERT_TRUE(vkqx_test::GetWindowGeometry(box, &g));
    EXPECT_EQ(g.width, 280);
    EXPECT_EQ(g.height, 115);
    // Only OK shows: it stands where the cancel button would, at the right.
    ASSERT_TRUE(vkqx_test::ClickAt(g.x + 240, g.y + 93));
    ASSERT_TRUE(second.WaitExit(20000, &status)) << second.Output();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  {
    InstallerProcess hidden({"-h"}, runtime.path());
    int status = -1;
    ASSERT_TRUE(hidden.WaitExit(20000, &status)) << "a hidden second copy must not wait for anyone";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(hidden.Output(), "");
  }
  int status;
  EXPECT_FALSE(first.WaitExit(0, &status));
}

}  // namespace
