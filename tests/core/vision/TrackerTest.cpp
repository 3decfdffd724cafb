// Both trackers on a real photograph moving through a panorama, at half the video size.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "LumaFrameManager.h"
#include "TestPanorama.h"
#include "selvo/PersonDetector.h"
#include "selvo/SelvoFactory.h"

using namespace visiontest;
using selvo::rect;

namespace {

constexpr int kW = 3840, kH = 1080;
constexpr float kProcess = 0.5f;  // process size / video size

// The picture of frame k and where the people in it truly are (head-and-shoulders boxes, in
// process pixels).
struct Frame {
  cv::Mat luma;
  std::vector<rect> people;
};

Frame Shot(bool is360, const std::string& photo, int x, float heightFraction) {
  Panorama p = Compose(kW, kH, is360, {{photo, x, heightFraction}});
  Frame f;
  f.luma = p.luma;
  int id = 1;
  for (const auto& face : p.faces) {
    selvo::rect c{face.x, face.y, face.width, face.height, -1, 1};
    rect r = selvo::PersonDetector::HeadAndShoulders(c, kW, kH, is360, 0);
    f.people.push_back(
        {r.x * kProcess, r.y * kProcess, r.width * kProcess, r.height * kProcess, id++, 1});
  }
  return f;
}

float CentreError(const rect& a, const rect& b, float wrap) {
  float dx = (a.x + a.width / 2) - (b.x + b.width / 2);
  if (wrap > 0) dx -= std::round(dx / wrap) * wrap;
  float dy = (a.y + a.height / 2) - (b.y + b.height / 2);
  return std::hypot(dx, dy);
}

class TrackerTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { ASSERT_EQ(selvo::CreateISelvoTrackerObject(&tracker), 0); }
  void TearDown() override { selvo::ReleaseISelvoTrackerObject(tracker); }
  bool Start(bool is360) {
    frames.Init(kW, kH, is360, 0);
    if (!tracker->Init(int(kW * kProcess), int(kH * kProcess), is360, GetParam())) return false;
    tracker->SetFrameManager(&frames);
    return true;
  }
  // One frame through the tracker as the facade runs it; the results, or none (-1).
  std::vector<rect> Step(cv::Mat luma, int* count = nullptr) {
    unsigned id = frames.Open(luma.data, luma.cols, luma.rows, false, true);
    tracker->Track(id);
    frames.EndFrame(id);
    int n = 0;
    tracker->GetResultCount(&n);
    if (count) *count = n;
    std::vector<rect> out(size_t(std::max(0, n)));
    tracker->GetResults(out.data(), n);
    return out;
  }

  testsupport::LumaFrameManager frames;
  selvo::ISELVO_TRACKER* tracker = nullptr;
};

}  // namespace

TEST_P(TrackerTest, FollowsAPhotoPanningAndGrowing) {
  ASSERT_TRUE(Start(false));
  Frame first = Shot(false, "sample3.jpg", 600, 0.8f);
  Step(first.luma);
  tracker->SetTargets(first.people.data(), int(first.people.size()));
  float worst = 0;
  for (int k = 0; k <= 24; ++k) {
    // 9 video pixels a frame to the right, and 0.4 % larger each frame.
    Frame f = Shot(false, "sample3.jpg", 600 + 9 * k, 0.8f * (1 + 0.004f * k));
    std::vector<rect> got = Step(f.luma);
    ASSERT_EQ(got.size(), f.people.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].id, f.people[i].id);
      EXPECT_GT(got[i].score, 0.0f) << "frame " << k << " target " << i;
      worst = std::max(worst, CentreError(got[i], f.people[i], 0));
      if (k == 24) {
        EXPECT_NEAR(got[i].width / f.people[i].width, 1.0, 0.08);
      }
    }
  }
  // Within a few process pixels all along.
  EXPECT_LT(worst, 5.0f);
  RecordProperty("worst centre error", std::to_string(worst));
}

TEST_P(TrackerTest, FollowsAPhotoAcrossTheSeam) {
  ASSERT_TRUE(Start(true));
  // sample1's middle face starts left of the seam and ends right of it.
  int x0 = kW - 1100;
  Frame first = Shot(true, "sample1.jpg", x0, 0.8f);
  Step(first.luma);
  tracker->SetTargets(first.people.data(), int(first.people.size()));
  float worst = 0;
  bool crossed = false;
  for (int k = 0; k <= 30; ++k) {
    Frame f = Shot(true, "sample1.jpg", x0 + 14 * k, 0.8f);
    std::vector<rect> got = Step(f.luma);
    ASSERT_EQ(got.size(), f.people.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_GE(got[i].x, 0.0f);
      EXPECT_LT(got[i].x, kW * kProcess);
      EXPECT_GT(got[i].score, 0.0f) << "frame " << k << " target " << i;
      worst = std::max(worst, CentreError(got[i], f.people[i], kW * kProcess));
      if (got[i].x + got[i].width > kW * kProcess) crossed = true;
    }
  }
  EXPECT_TRUE(crossed);
  EXPECT_LT(worst, 5.0f);
  RecordProperty("worst centre error", std::to_string(worst));
}

TEST_P(TrackerTest, ReportsALostTargetWhereItWasLastSeen) {
  ASSERT_TRUE(Start(false));
  Frame f = Shot(false, "sample4.jpg", 900, 0.8f);
  Step(f.luma);
  tracker->SetTargets(f.people.data(), int(f.people.size()));
  Step(f.luma);
  std::vector<rect> seen = Step(f.luma);
  ASSERT_EQ(seen.size(), f.people.size());
  // The people leave: an empty wall.
  cv::Mat wall(kH, kW, CV_8UC1, cv::Scalar(100));
  std::vector<rect> gone = Step(wall);
  ASSERT_EQ(gone.size(), f.people.size());
  for (size_t i = 0; i < gone.size(); ++i) {
    EXPECT_EQ(gone[i].score, 0.0f);
    EXPECT_EQ(gone[i].id, f.people[i].id);
    EXPECT_LT(CentreError(gone[i], seen[i], 0), 1.0f);
  }
  // They come back where they were: followed again.
  std::vector<rect> back = Step(f.luma);
  for (size_t i = 0; i < back.size(); ++i) {
    EXPECT_GT(back[i].score, 0.0f);
    EXPECT_LT(CentreError(back[i], f.people[i], 0), 5.0f);
  }
}

TEST_P(TrackerTest, ReportsOnlyNewResultsAndKeepsIds) {
  ASSERT_TRUE(Start(false));
  Frame f = Shot(false, "sample2.jpg", 500, 0.8f);
  int n = 0;
  tracker->GetResultCount(&n);
  EXPECT_EQ(n, -1);
  Step(f.luma, &n);
  EXPECT_EQ(n, -1);  // no targets, nothing to report
  std::vector<rect> targets = f.people;
  targets[0].id = 4711;
  targets[1].id = -32768;
  tracker->SetTargets(targets.data(), int(targets.size()));
  std::vector<rect> got = Step(f.luma, &n);
  EXPECT_EQ(n, int(targets.size()));
  EXPECT_EQ(got[0].id, 4711);
  EXPECT_EQ(got[1].id, -32768);
  tracker->GetResultCount(&n);
  EXPECT_EQ(n, -1);  // already taken
  // A frame that is not open is not tracked.
  tracker->Track(12345);
  tracker->GetResultCount(&n);
  EXPECT_EQ(n, -1);
  // Empty and degenerate targets are dropped.
  rect bad[2] = {{10, 10, 0, 50, 1, 1}, {-5, -5, -1, 3, 2, 1}};
  tracker->SetTargets(bad, 2);
  Step(f.luma, &n);
  EXPECT_EQ(n, -1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, TrackerTest,
                         ::testing::Values(int(selvo::TRACKER_CORRELATION),
                                           int(selvo::TRACKER_OPTICAL_FLOW)),
                         [](const auto& info) {
                           return info.param == selvo::TRACKER_CORRELATION ? "Correlation"
                                                                           : "OpticalFlow";
                         });

TEST(TrackerInitTest, RefusesAnUnknownKindOrSize) {
  selvo::ISELVO_TRACKER* tracker = nullptr;
  ASSERT_EQ(selvo::CreateISelvoTrackerObject(&tracker), 0);
  EXPECT_FALSE(tracker->Init(1920, 540, true, 3));
  EXPECT_FALSE(tracker->Init(0, 540, true, 2));
  EXPECT_TRUE(tracker->Init(1920, 540, true, 1));
  selvo::ReleaseISelvoTrackerObject(tracker);
}
