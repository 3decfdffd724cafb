#include <gtest/gtest.h>

#include <deque>
#include <limits>

#include "ManualClock.h"
#include "camera/CpuUsageMonitor.h"

using corvane::CpuUsageMonitor;
using platform::SystemInfo;

namespace {

// Processor times that advance by 100 ticks a sample with the load the test asks for.
class Ticks {
 public:
  explicit Ticks(uint64_t start = 1'000'000) {
    times_.user = start;
    times_.idle = start;
  }
  void next(int percent) {
    times_.user += uint64_t(percent);
    times_.idle += uint64_t(100 - percent);
  }
  SystemInfo::CpuTimes times_;
};

class CpuUsageMonitorTest : public ::testing::Test {
 protected:
  CpuUsageMonitorTest()
      : monitor([this] { return std::optional<SystemInfo::CpuTimes>(ticks.times_); }, clock) {
    monitor.updateInfo();  // the baseline
  }
  void samples(int count, int percent) {
    for (int i = 0; i < count; ++i) {
      ticks.next(percent);
      monitor.updateInfo();
    }
  }
  testsupport::ManualClock clock;
  Ticks ticks;
  CpuUsageMonitor monitor;
};

}  // namespace

TEST_F(CpuUsageMonitorTest, FirstSampleOnlySetsTheBaseline) {
  // Ticks since boot say 50 %: not a sample of the load now.
  EXPECT_EQ(monitor.usagePercentage(), 0);
  samples(1, 30);
  EXPECT_EQ(monitor.usagePercentage(), 30);
}

TEST_F(CpuUsageMonitorTest, OneMinuteAtFullLoadRaisesTheLevelOnce) {
  samples(59, 100);
  EXPECT_EQ(monitor.qosLevel(), 0);
  EXPECT_EQ(monitor.currentAverageOneMinute(), -1.0f);
  samples(1, 100);
  EXPECT_EQ(monitor.qosLevel(), 1);
  EXPECT_EQ(monitor.currentAverageOneMinute(), -1.0f);  // the windows start anew
  samples(59, 100);
  EXPECT_EQ(monitor.qosLevel(), 1);
  samples(1, 100);
  EXPECT_EQ(monitor.qosLevel(), 2);
  samples(120, 80);
  EXPECT_EQ(monitor.qosLevel(), 3);  // and stays there
  samples(60, 80);
  EXPECT_EQ(monitor.qosLevel(), 3);
}

TEST_F(CpuUsageMonitorTest, ThreeMinutesBelowFortyLowerTheLevel) {
  samples(60, 100);
  ASSERT_EQ(monitor.qosLevel(), 1);
  // Exactly 40 % on average does not lower it.
  samples(180, 40);
  EXPECT_EQ(monitor.qosLevel(), 1);
  EXPECT_EQ(monitor.currentAverageThreeMinutes(), 40.0f);
  // Just below does: 179 samples of 40 and one of 39.
  samples(1, 39);
  EXPECT_EQ(monitor.qosLevel(), 0);
}

TEST_F(CpuUsageMonitorTest, CountersBeyond32BitsAndAStillClock) {
  ticks.times_.user = std::numeric_limits<uint32_t>::max() - 10;
  monitor.updateInfo();
  samples(1, 70);
  EXPECT_EQ(monitor.usagePercentage(), 70);
  // No time passed between two samples: no sample, no division by zero.
  monitor.updateInfo();
  EXPECT_EQ(monitor.usagePercentage(), 70);
}

TEST_F(CpuUsageMonitorTest, SamplesEverySecondOnItsOwnQueue) {
  monitor.startSampling();
  for (int i = 0; i < 3; ++i) {
    ticks.next(25);
    clock.advance(std::chrono::seconds(1));
    monitor.queue().drain();
  }
  EXPECT_EQ(monitor.usagePercentage(), 25);
}
