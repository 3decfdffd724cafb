#include <gtest/gtest.h>

#include <random>

#include "LayoutScenes.h"

using namespace layouttest;

// Stable framing: the dead band, eased moves of exactly the configured length, cuts, and the
// debounced joining and leaving of people.
namespace {

bool sameMain(const Frame& a, const Frame& b) {
  Frame x = a;
  Frame y = b;
  x.tiles.clear();
  x.borders.clear();
  y.tiles.clear();
  y.borders.clear();
  return sameFrame(x, y);
}

const roi_pair* tileOf(const Frame& f, int id) {
  for (const auto& list : f.main) {
    for (const roi_pair& p : list) {
      if (p.src.id == id) return &p;
    }
  }
  return nullptr;
}

}  // namespace

TEST(LayoutMotion, AStillRoomGivesIdenticalPairsEveryFrame) {
  for (int mode : {0, 1, 2, 3, 5, 6, 7, 8, 9}) {
    Harness h;
    seatMeeting(h, mode);
    const Frame settled = h.run(60);
    for (int i = 0; i < 30; ++i) {
      ASSERT_TRUE(sameFrame(h.frame(), settled)) << "mode " << mode << " frame " << i;
    }
  }
}

TEST(LayoutMotion, JitterInsideTheToleranceMovesNothing) {
  std::mt19937 rng(3);
  for (int mode : {0, 1, 2, 3, 5, 6, 7, 8, 9}) {
    for (int fit : {1, 2, 3}) {
      Harness h;
      seatMeeting(h, mode);
      h.engine.SetFitPolicy(fit);
      h.setting.SetStableROITolerance(24, 0);
      const auto tracked = h.tracked;
      const auto untracked = h.untracked;
      const Frame settled = h.run(60);
      for (int i = 0; i < 90; ++i) {
        const auto jitter = [&](std::vector<rect>& list, const std::vector<rect>& base) {
          for (size_t k = 0; k < list.size(); ++k) {
            list[k] = base[k];
            list[k].x += static_cast<float>(static_cast<int>(rng() % 13) - 6);
            list[k].y += static_cast<float>(static_cast<int>(rng() % 13) - 6);
            list[k].height += static_cast<float>(static_cast<int>(rng() % 9) - 4);
          }
        };
        jitter(h.tracked, tracked);
        jitter(h.untracked, untracked);
        const Frame now = h.frame();
        ASSERT_TRUE(sameMain(now, settled)) << "mode " << mode << " frame " << i << "\n"
                                            << plan(now) << "\n"
                                            << plan(settled);
      }
    }
  }
}

TEST(LayoutMotion, AStepChangeTakesExactlyTheTransitionFrames) {
  for (int frames : {1, 5, 12}) {
    Harness h;
    h.engine.SetLayoutMode(3);
    h.setting.SetTransitionFrameCount(frames);
    h.setting.SetStableROITolerance(20, 0);
    h.untracked = {box(1000, 400, 300, 320, 7)};
    const float before = tileOf(h.run(30), 7)->src.x;
    h.untracked[0].x += 400;
    std::vector<float> xs;
    for (int i = 0; i < frames + 10; ++i) xs.push_back(tileOf(h.frame(), 7)->src.x);
    const float after = xs.back();
    EXPECT_NEAR(after - before, 400, 0.01);
    for (int i = 0; i < frames - 1; ++i) {
      EXPECT_NE(xs[i], after) << "frames " << frames << " step " << i;
      EXPECT_GT(xs[i], i == 0 ? before : xs[i - 1]);  // always onwards, never back
    }
    for (int i = frames - 1; i < static_cast<int>(xs.size()); ++i) EXPECT_EQ(xs[i], after);
  }
}

TEST(LayoutMotion, PanWeightShapesTheMoveButNotItsLength) {
  std::vector<float> linear;
  std::vector<float> eased;
  for (float weight : {0.0f, 1.0f}) {
    Harness h;
    h.engine.SetLayoutMode(3);
    h.setting.SetTransitionFrameCount(10);
    h.setting.SetVideoPanWeight(weight);
    h.untracked = {box(1000, 400, 300, 320, 7)};
    h.run(30);
    h.untracked[0].x += 500;
    auto& xs = weight == 0 ? linear : eased;
    for (int i = 0; i < 10; ++i) xs.push_back(tileOf(h.frame(), 7)->src.x);
  }
  EXPECT_EQ(linear.back(), eased.back());
  // A constant-speed pan moves evenly; the eased one starts slower.
  EXPECT_NEAR(linear[1] - linear[0], linear[5] - linear[4], 0.01);
  EXPECT_LT(eased[1] - eased[0], eased[5] - eased[4]);
}

TEST(LayoutMotion, AChangeBeyondTheMaximumCuts) {
  Harness h;
  h.engine.SetLayoutMode(3);
  h.setting.SetTransitionFrameCount(15);
  h.setting.SetStableROITolerance(20, 300);
  h.untracked = {box(1000, 400, 300, 320, 7)};
  const float before = tileOf(h.run(30), 7)->src.x;
  h.untracked[0].x += 200;  // inside the maximum: eased
  EXPECT_LT(tileOf(h.frame(), 7)->src.x, before + 200);
  h.run(20);
  h.untracked[0].x += 1000;  // beyond it: one cut
  EXPECT_NEAR(tileOf(h.frame(), 7)->src.x, before + 1200, 0.01);
}

TEST(LayoutMotion, MovesAcrossTheSeamTakeTheShortWay) {
  Harness h;
  h.engine.SetLayoutMode(3);
  h.setting.SetTransitionFrameCount(8);
  h.untracked = {box(3500, 400, 300, 320, 7)};
  h.run(30);
  h.untracked[0].x = 100;  // 440 pixels to the right, across the seam
  for (int i = 0; i < 8; ++i) {
    const Frame f = h.frame();
    for (const roi_pair& p : f.main[1]) {
      // Never a pan back through the room: the crop stays near the seam.
      const double centre = p.src.x + p.src.width / 2;
      EXPECT_TRUE(centre < 1000 || centre > 2840) << centre;
    }
  }
}

TEST(LayoutMotion, ManualRectanglesFollowAtOnce) {
  Harness h;
  seatMeeting(h, 1);
  h.run(10);
  h.focus.x += 5;  // well inside the dead band, still followed
  EXPECT_FLOAT_EQ(h.frame().main[0][0].src.x, 1445);
}

TEST(LayoutMotion, JoiningAndLeavingAreDebounced) {
  Harness h;
  h.engine.SetLayoutMode(3);
  h.untracked = {box(500, 400, 300, 320, 1)};
  const Frame one = h.run(30);
  ASSERT_EQ(one.main[1].size(), 1u);
  // A detection that flickers for a few frames never reflows the grid.
  h.untracked.push_back(box(2000, 400, 300, 320, 2));
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(sameMain(h.frame(), one));
  h.untracked.pop_back();
  for (int i = 0; i < 30; ++i) EXPECT_TRUE(sameMain(h.frame(), one));
  // Someone who stays joins after a short while.
  h.untracked.push_back(box(2000, 400, 300, 320, 2));
  int joinedAfter = 0;
  while (h.frame().main[1].size() < 2 && joinedAfter < 100) ++joinedAfter;
  EXPECT_GE(joinedAfter, 10);
  EXPECT_LE(joinedAfter, 14);
  // A missed detection keeps the layout; a real departure reflows it after a second.
  const Frame two = h.run(5);
  h.untracked.pop_back();
  for (int i = 0; i < 20; ++i) EXPECT_TRUE(sameMain(h.frame(), two)) << i;
  h.run(15);
  EXPECT_EQ(h.frame().main[1].size(), 1u);
}

// Detect replaces every box with a new one (a new identity) at about the same place: the layout
// keeps its tiles where they were, under the new boxes at once, and does not show the room
// twice while the old boxes leave. A box far from every gone one still waits to join.
TEST(LayoutMotion, BoxesReplacedWhereTheyWereKeepTheTilesStill) {
  for (int mode : {0, 3}) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    Harness h(false, 3840, 1080);
    h.engine.SetLayoutMode(mode);
    h.engine.SetMaxGridCount(8);
    h.untracked = {box(56, 167, 516, 574, 1),   box(431, 220, 504, 560, 2),
                   box(976, 52, 464, 514, 3),   box(1607, 0, 524, 582, 4),
                   box(1986, 5, 590, 656, 5),   box(2473, 0, 512, 568, 6),
                   box(3266, 109, 574, 636, 7)};
    const Frame before = h.run(60);
    std::vector<roi_pair> crops = before.main[1];
    for (rect& b : h.untracked) {
      b.id += 10;
      b.x += 3;  // found again a few pixels away
    }
    for (int i = 0; i < 40; ++i) {
      const Frame f = h.frame();
      ASSERT_EQ(f.main[1].size(), crops.size()) << "frame " << i;
      for (size_t k = 0; k < crops.size(); ++k) {
        EXPECT_EQ(f.main[1][k].src.id, crops[k].src.id + 10) << "frame " << i;
        EXPECT_NEAR(f.main[1][k].src.x, crops[k].src.x, 4) << "frame " << i << " tile " << k;
        EXPECT_NEAR(f.main[1][k].src.width, crops[k].src.width, 4) << "frame " << i;
      }
    }
  }
  // Someone new where nobody was still joins after the usual while.
  Harness h;
  h.engine.SetLayoutMode(3);
  h.untracked = {box(500, 400, 300, 320, 1)};
  h.run(30);
  h.untracked = {box(2000, 400, 300, 320, 2)};
  EXPECT_EQ(tileOf(h.frame(), 2), nullptr);
}

TEST(LayoutMotion, APinnedOrNewlyDrawnRectangleJoinsAtOnce) {
  Harness h;
  h.engine.SetLayoutMode(3);
  h.untracked = {box(500, 400, 300, 320, 1)};
  h.run(30);
  h.untracked.push_back(box(2000, 400, 300, 320, 2));
  h.engine.SetLatestManualRectId(2);
  EXPECT_EQ(h.frame().main[1].size(), 2u);
  h.untracked.push_back(box(3000, 400, 300, 320, 3));
  h.pins = {3};
  EXPECT_EQ(h.frame().main[1].size(), 3u);
}
