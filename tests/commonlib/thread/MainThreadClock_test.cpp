#include "commonlib/thread/MainThreadClock.h"

#include <gtest/gtest.h>

#include <atomic>

#include "platform/clock.h"

namespace {

std::atomic<int64_t> g_wallMs{0};
std::atomic<int64_t> g_counterMs{0};

class MainThreadClockTest : public ::testing::TestWithParam<std::pair<int64_t, double>> {
 protected:
  void SetUp() override {
    g_wallMs = 1'700'000'000'000;
    g_counterMs = 5'000'000;
    platform::SetClockForTesting({[] { return static_cast<uint64_t>(g_counterMs.load()); },
                                  [] { return g_wallMs.load(); },
                                  [] { return g_counterMs.load() * 1'000'000; }});
  }
  void TearDown() override { platform::SetClockForTesting({}); }
  static void Advance(int64_t ms) {
    g_wallMs += ms;
    g_counterMs += ms;
  }
};

// A change of the wall clock by `jump` ms; the reading after the recalibration it causes
// differs from the last one by the expected seconds.
TEST_P(MainThreadClockTest, FollowsTheWallClockButHoldsSmallStepsBack) {
  const auto [jump, expectedStep] = GetParam();
  CMainThreadClock clock;
  const double start = clock.NowSeconds();
  EXPECT_DOUBLE_EQ(start, 1'700'000'000.0);
  Advance(10);
  EXPECT_NEAR(clock.NowSeconds() - start, 0.010, 1e-6);
  g_wallMs += jump;
  Advance(10);
  const double beforeRecalibration = clock.NowSeconds();
  EXPECT_NEAR(beforeRecalibration - start, 0.020, 1e-6);  // noticed, acted on next time
  Advance(10);
  EXPECT_NEAR(clock.NowSeconds() - beforeRecalibration, expectedStep, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Jumps, MainThreadClockTest,
                         ::testing::Values(std::pair<int64_t, double>{0, 0.010},        // steady
                                           std::pair<int64_t, double>{-1000, 0.0},      // held
                                           std::pair<int64_t, double>{-5000, -4.990},   // taken
                                           std::pair<int64_t, double>{3000, 3.010}));   // forward

}  // namespace
