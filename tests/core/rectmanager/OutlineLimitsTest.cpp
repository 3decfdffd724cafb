#include <gtest/gtest.h>

#include <optional>

#include "OutlineBudget.h"
#include "RectManager.h"
#include "SamePlace.h"
#include "selvo/SubwindowPairs.h"

using namespace orlith;
using selvo::rect;

namespace {

rect box(float x, float y, float w, float h, int id = -1) { return rect{x, y, w, h, id, -1.0f}; }

constexpr int kW = 3840, kH = 1080;

// A 360-degree panorama as the program sets it up: detections grow by the enlarge ratio and
// match at the configured overlap.
struct Restore : ::testing::Test {
  RectManager rm;
  void SetUp() override {
    rm.SetVideoInfo(kW, kH, true);
    rm.SetMinSideLength(64);
    rm.SetFaceEnlargeRatio(1.4f);
    rm.SetDetectResultOverlappingThreshold(0.3f);
  }
  // Seven faces across the panorama.
  static std::vector<rect> faces(float shift = 0) {
    std::vector<rect> out;
    for (int i = 0; i < 7; ++i) out.push_back(box(200.0f + 500.0f * float(i) + shift, 400, 80, 80));
    return out;
  }
  // What a save keeps of the live boxes: their display rectangles, manual then detected.
  std::vector<rect> saved() const {
    std::vector<rect> out = rm.GetManualRect();
    for (const rect& r : rm.GetDetectRect()) out.push_back(r);
    return out;
  }
};

}  // namespace

TEST(SamePlaceTest, OverlapOverUnionAgainstTheThresholdAcrossTheSeam) {
  struct Row {
    rect a, b;
    float threshold;
    bool same;
  };
  const Row rows[] = {
      {box(0, 0, 100, 100), box(0, 0, 100, 100), 0.7f, true},
      {box(0, 0, 100, 100), box(10, 0, 100, 100), 0.7f, true},    // 90 / 110
      {box(0, 0, 100, 100), box(40, 0, 100, 100), 0.7f, false},   // 60 / 140
      {box(0, 0, 100, 100), box(40, 0, 100, 100), 0.3f, true},
      {box(0, 0, 100, 100), box(200, 0, 100, 100), 0.0f, false},  // apart: never one place
      {box(0, 0, 100, 100), box(100, 0, 100, 100), 0.0f, false},  // edges touching
      {box(3790, 100, 100, 100), box(-10, 100, 100, 100), 0.7f, false},  // flat picture
  };
  for (const Row& row : rows) {
    EXPECT_EQ(SamePlace::test(row.a, row.b, row.threshold, kW, false), row.same)
        << row.a.x << " " << row.b.x << " " << row.threshold;
  }
  // Past the right end of a panorama, a box lies on one at its left edge.
  EXPECT_TRUE(SamePlace::test(box(3790, 100, 100, 100), box(-50, 100, 100, 100), 0.7f, kW, true));
  EXPECT_TRUE(SamePlace::test(box(-50, 100, 100, 100), box(3790, 100, 100, 100), 0.7f, kW, true));

  // The first of each place is kept, in order.
  const std::vector<rect> boxes = {box(0, 0, 100, 100), box(500, 0, 100, 100),
                                   box(5, 0, 100, 100), box(505, 2, 100, 100),
                                   box(1000, 0, 100, 100)};
  EXPECT_EQ(SamePlace::distinct(boxes, 0.7f, kW, true), (std::vector<size_t>{0, 1, 4}));
  EXPECT_TRUE(SamePlace::distinct({}, 0.7f, kW, true).empty());
}

TEST(OutlineBudgetTest, TheBudgetIsWhatThePanoramaDrawsAndIgnoreAreasFitFirst) {
  // Twenty pairs: the panorama in two pieces, the box being drawn and the fixed frame leave 16.
  EXPECT_EQ(OutlineBudget::kOutlines, 16);
  EXPECT_LE(OutlineBudget::kOutlines, RectManager::kMaxRects);
  struct Row {
    int boxes, ignoreAreas;
    OutlineBudget::Fit fit;
  };
  const Row rows[] = {
      {0, 0, {0, 0, 0, 0}},
      {7, 1, {7, 1, 0, 0}},
      {16, 0, {16, 0, 0, 0}},
      {30, 1, {15, 1, 15, 0}},  // a 30-box layout keeps its ignore area
      {30, 0, {16, 0, 14, 0}},
      {5000, 5000, {0, 16, 5000, 4984}},
      {3, 20, {0, 16, 3, 4}},
      {-2, -1, {0, 0, 0, 0}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(OutlineBudget::fit(row.boxes, row.ignoreAreas), row.fit)
        << row.boxes << " boxes, " << row.ignoreAreas << " ignore areas";
  }
  EXPECT_EQ(OutlineBudget::room(10, 2), 4);
  EXPECT_EQ(OutlineBudget::room(20, 0), 0);
}

// Every outline the manager lets stand is drawn on the panorama: turned (two pieces), with a box
// being drawn and the fixed frame, all of them are among the twenty pairs.
TEST(OutlineBudgetTest, EveryOutlineAllowedIsAmongThePairsThePanoramaDraws) {
  selvo::LayoutGeometry geometry;
  geometry.videoWidth = kW;
  geometry.videoHeight = kH;
  geometry.is360 = true;
  geometry.contentOffset = 1000;  // the panorama in two pieces
  std::vector<selvo::BorderItem> items;
  selvo::BorderItem band;  // the box being drawn
  band.box = box(10, 10, 50, 50);
  items.push_back(band);
  selvo::BorderItem fixed;
  fixed.box = box(100, 100, 300, 200);
  fixed.type = 12;
  items.push_back(fixed);
  for (int i = 0; i < OutlineBudget::kOutlines; ++i) {
    selvo::BorderItem item;
    item.box = box(float(i * 200), 500, 100, 100);
    item.id = 100 + i;
    items.push_back(item);
  }
  selvo::SubwindowPairs pairs;
  pairs.build(geometry, 1920, 540, items);
  ASSERT_EQ(pairs.tiles().size(), 2u);
  EXPECT_EQ(pairs.borders().size(), items.size());
  EXPECT_EQ(pairs.borders().back().src.id, 100 + OutlineBudget::kOutlines - 1);
}

// The start restores a saved layout (its boxes as manual ones, still waiting for the processing
// step or already in) and then runs its own detection, which replaces the detected boxes: a face
// a restored box frames gets no second box, so save, restart and save give the same layout.
TEST_F(Restore, TheStartsDetectionAddsNoBoxWhereARestoredOneFramesThePerson) {
  for (bool applied : {false, true}) {
    SCOPED_TRACE(applied ? "restored boxes in" : "restored boxes waiting");
    // Run 1: nothing saved; the start's detection finds the seven faces.
    RectManager first;
    first.SetVideoInfo(kW, kH, true);
    first.SetMinSideLength(64);
    first.SetFaceEnlargeRatio(1.4f);
    first.SetDetectResultOverlappingThreshold(0.3f);
    first.ClearPrevDetectResults();
    first.SetDetectedRects(faces());
    std::vector<rect> layout = first.GetDetectRect();
    ASSERT_EQ(layout.size(), 7u);

    for (int run = 2; run <= 4; ++run) {
      RectManager next;
      next.SetVideoInfo(kW, kH, true);
      next.SetMinSideLength(64);
      next.SetFaceEnlargeRatio(1.4f);
      next.SetDetectResultOverlappingThreshold(0.3f);
      for (const rect& r : layout) ASSERT_TRUE(next.AddManualRect(r));
      if (applied) next.ValidateTrackedRect();
      next.ClearPrevDetectResults();  // the launch detection
      next.SetDetectedRects(faces(float(run)));  // the faces moved a little
      next.ValidateTrackedRect();
      std::vector<rect> again = next.GetManualRect();
      for (const rect& r : next.GetDetectRect()) again.push_back(r);
      ASSERT_EQ(again.size(), 7u) << "run " << run;
      for (size_t i = 0; i < again.size(); ++i) {
        EXPECT_FLOAT_EQ(again[i].x, layout[i].x);
        EXPECT_FLOAT_EQ(again[i].width, layout[i].width);
      }
      layout = again;
    }
  }
}

TEST_F(Restore, ADetectionStillBoxesAFaceNoRestoredBoxFrames) {
  rm.AddManualRect(box(200, 380, 120, 120));
  rm.ClearPrevDetectResults();
  rm.SetDetectedRects({box(220, 400, 80, 80), box(2200, 400, 80, 80)});
  rm.ValidateTrackedRect();
  EXPECT_EQ(rm.GetManualRect().size(), 1u);
  ASSERT_EQ(rm.GetDetectRect().size(), 1u);
  EXPECT_GT(rm.GetDetectRect()[0].x, 2000);
  // Two faces at one place in one result: one box.
  rm.SetDetectedRects({box(3000, 400, 80, 80), box(3002, 401, 80, 80)});
  EXPECT_EQ(rm.GetDetectRect().size(), 2u);
}

// Boxes and ignore areas together stay within what the panorama draws, detections included; a
// clearing that waits for the processing step frees the places at once, so a layout loaded over a
// full panorama comes in whole, ignore areas included.
TEST_F(Restore, OutlinesStayWithinWhatThePanoramaDraws) {
  const int n = OutlineBudget::kOutlines;
  rm.StartIgnoreAreaEditing();
  ASSERT_TRUE(rm.AddManualRect(box(3500, 100, 100, 100)));
  rm.EndIgnoreAreaEditing(true);
  for (int i = 0; i < n - 1; ++i) ASSERT_TRUE(rm.AddManualRect(box(float(i * 200), 600, 100, 100)));
  EXPECT_FALSE(rm.AddManualRect(box(3300, 600, 100, 100)));
  rm.StartIgnoreAreaEditing();
  EXPECT_FALSE(rm.AddManualRect(box(3300, 100, 100, 100)));  // an ignore area takes a place too
  rm.EndIgnoreAreaEditing(true);
  rm.ValidateTrackedRect();
  rm.SetDetectedRects({box(3000, 300, 80, 80)});  // no room for a detected box either
  EXPECT_EQ(int(rm.GetEntries().size()), n - 1);
  EXPECT_EQ(rm.GetIgnoreAreas().size(), 1u);

  // A load: clear, then the layout's ignore area and its boxes, as many as fit.
  rm.ClearAllRects();
  rm.RemoveIgnoreAreas();
  const OutlineBudget::Fit fit = OutlineBudget::fit(30, 1);
  for (int i = 0; i < fit.boxes; ++i) EXPECT_TRUE(rm.AddManualRect(box(float(i * 200), 300, 100, 100)));
  rm.StartIgnoreAreaEditing();
  EXPECT_TRUE(rm.AddManualRect(box(3500, 700, 100, 100)));
  rm.EndIgnoreAreaEditing(true);
  rm.ValidateTrackedRect();
  EXPECT_EQ(int(rm.GetEntries().size()), fit.boxes);
  EXPECT_EQ(rm.GetIgnoreAreas().size(), 1u);

  // Removing one frees its place before the processing step.
  rm.RemoveRect(false, rm.GetEntries()[0].display.id);
  EXPECT_TRUE(rm.AddManualRect(box(3000, 900, 100, 100)));
}
