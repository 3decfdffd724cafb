#include <gtest/gtest.h>

#include <deque>
#include <limits>
#include <string>
#include <vector>

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
      : monitor([this] { return std::optional<SystemInfo::CpuTimes>(ticks.times_); }, clock,
                [this](const std::string& line) { notes.push_back(line); }) {
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
  std::vector<std::string> notes;
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

TEST_F(CpuUsageMonitorTest, EachLevelChangeIsToldOnceWithItsCause) {
  samples(59, 100);
  EXPECT_TRUE(notes.empty());
  samples(1, 100);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0], CpuUsageMonitor::levelChangeLine(0, 1, 100.0f));
  // Up to the top level; a full minute there again restarts the windows but changes nothing.
  samples(120, 80);
  ASSERT_EQ(monitor.qosLevel(), 3);
  EXPECT_EQ(notes.size(), 3u);
  samples(60, 80);
  EXPECT_EQ(monitor.qosLevel(), 3);
  EXPECT_EQ(notes.size(), 3u);
  EXPECT_EQ(notes[2], CpuUsageMonitor::levelChangeLine(2, 3, 80.0f));
  // Three quiet minutes bring it one step down, told with the three-minute average.
  samples(180, 10);
  ASSERT_EQ(monitor.qosLevel(), 2);
  ASSERT_EQ(notes.size(), 4u);
  EXPECT_EQ(notes[3], CpuUsageMonitor::levelChangeLine(3, 2, 10.0f));
  // A steady load between the limits tells nothing.
  samples(400, 45);
  EXPECT_EQ(notes.size(), 4u);
}

TEST(CpuUsageMonitorLine, SaysTheLevelTheCauseAndTheEffect) {
  struct Case {
    int from, to;
    float average;
    std::vector<std::string> says;
  };
  const Case cases[] = {
      {0,
       1,
       63.3f,
       {"level 0 -> 1", "63.3 % over the last minute", "50 % or more",
        "6 of every 30 camera frames are skipped"}},
      {1, 2, 50.0f, {"level 1 -> 2", "50.0 %", "15 of every 30 camera frames are skipped"}},
      {2, 3, 99.0f, {"level 2 -> 3", "accumulated detection is off"}},
      {3,
       2,
       39.9f,
       {"level 3 -> 2", "39.9 % over the last three minutes", "below 40 %", "15 of every 30"}},
      {1, 0, 12.0f, {"level 1 -> 0", "every camera frame is shown and analysed"}},
  };
  for (const auto& c : cases) {
    std::string line = CpuUsageMonitor::levelChangeLine(c.from, c.to, c.average);
    for (const auto& part : c.says)
      EXPECT_NE(line.find(part), std::string::npos) << line << " lacks " << part;
  }
}
