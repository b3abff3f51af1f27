#include "commonlib/peer/SpeedSampler.h"

#include <gtest/gtest.h>

#include "tests/commonlib/engine/engine_test_support.h"

namespace {

TEST(SpeedSamplerTest, MeansTheLastTenSamples) {
  engine_test::ManualClock clock(5000, 0);
  SpeedSampler meter;
  for (int i = 0; i < 10; ++i) {
    clock.Advance(1000);
    meter.m_bytes += 100000;
    EXPECT_EQ(meter.Update(), 100000u);
  }
  clock.Advance(1000);
  EXPECT_EQ(meter.Update(), 90000u);  // the oldest sample left, a silent second came in
  EXPECT_EQ(meter.m_bytes, 0u);
}

TEST(SpeedSamplerTest, TwoSamplesAtTheSameTickCountAsNoSpeed) {
  engine_test::ManualClock clock(5000, 0);
  SpeedSampler meter;
  meter.m_bytes = 4096;
  EXPECT_EQ(meter.Update(), 0u);
  clock.Advance(500);
  meter.m_bytes = 1000;
  EXPECT_EQ(meter.Update(), 1000u);  // mean of 0 and 2000 bytes per second
}

}  // namespace
