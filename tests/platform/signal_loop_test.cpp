#include "platform/signals.h"

#include <gtest/gtest.h>
#include <signal.h>

#include "platform/message_loop.h"

namespace {

using namespace platform;

class SignalLoopTest : public ::testing::TestWithParam<int> {};

TEST_P(SignalLoopTest, ATerminationSignalArrivesOnTheLoop) {
  int seen = 0;
  TerminationSignalWatch watch([&](int number) {
    seen = number;
    PostQuitMessage(number);
  });
  ASSERT_EQ(::raise(GetParam()), 0);
  MSG msg;
  while (GetMessage(&msg)) DispatchMessage(&msg);
  EXPECT_EQ(seen, GetParam());
  EXPECT_EQ(static_cast<int>(msg.wParam), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalLoopTest, ::testing::Values(SIGINT, SIGTERM));

}  // namespace
