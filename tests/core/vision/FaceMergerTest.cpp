// The merge of the boxes found in overlapping tiles: clusters across the seam, and a bound on the
// boxes one merge looks at however many a pass gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "selvo/FaceMerger.h"

using selvo::FaceMerger;
using selvo::rect;

namespace {
rect Box(float x, float y, float w, float h, float score) { return rect{x, y, w, h, -1, score}; }
}  // namespace

TEST(FaceMergerTest, OverlappingBoxesBecomeTheirWeightedMean) {
  struct Case {
    const char* what;
    std::vector<rect> boxes;
    float wrap;
    size_t merged;
    float x;  // of the best box
  };
  const Case cases[] = {
      {"two views of one face",
       {Box(100, 50, 40, 40, 0.9f), Box(110, 50, 40, 40, 0.3f)},
       0,
       1,
       102.5f},
      {"apart", {Box(100, 50, 40, 40, 0.9f), Box(300, 50, 40, 40, 0.8f)}, 0, 2, 100},
      {"across the seam", {Box(3830, 50, 40, 40, 0.9f), Box(-10, 50, 40, 40, 0.9f)}, 3840, 1, 3830},
      {"the seam is no seam on a flat picture",
       {Box(3830, 50, 40, 40, 0.9f), Box(-10, 50, 40, 40, 0.9f)},
       0,
       2,
       3830},
  };
  for (const Case& c : cases) {
    auto merged = FaceMerger::Merge(c.boxes, 0.3f, c.wrap);
    ASSERT_EQ(merged.size(), c.merged) << c.what;
    EXPECT_NEAR(merged[0].x, c.x, 0.01f) << c.what;
    EXPECT_FLOAT_EQ(merged[0].score, 0.9f) << c.what;
  }
}

// A wide thin picture's pass gave some 57,000 boxes; a merge of them took seconds. The merge
// keeps the best-scoring kMaxBoxes, so the faces survive and the weakest boxes are left out.
TEST(FaceMergerTest, AFloodOfBoxesIsCutToTheBestScoring) {
  std::vector<rect> boxes;
  for (int i = 0; i < 57000; ++i)  // faint boxes along a strip, none overlapping the next
    boxes.push_back(Box(float(i % 8192) * 12.0f, float(i / 8192) * 20.0f, 8, 8,
                        0.05f + 0.1f * float(i % 97) / 97.0f));
  const std::vector<rect> faces = {Box(1000, 500, 60, 60, 0.95f), Box(5000, 500, 60, 60, 0.9f),
                                   Box(1010, 505, 60, 60, 0.8f)};
  boxes.insert(boxes.begin() + 20000, faces.begin(), faces.end());
  const float weakestKept = 0.05f + 0.1f * 88 / 97.0f;  // about the best 4096 of the faint boxes
  auto merged = FaceMerger::Merge(boxes, 0.3f, 0);
  ASSERT_LE(merged.size(), FaceMerger::kMaxBoxes);
  ASSERT_GE(merged.size(), 2u);
  EXPECT_FLOAT_EQ(merged[0].score, 0.95f);
  EXPECT_NEAR(merged[0].x, (1000 * 0.95f + 1010 * 0.8f) / 1.75f, 0.01f);
  EXPECT_FLOAT_EQ(merged[1].score, 0.9f);
  for (const rect& m : merged) EXPECT_GE(m.score, weakestKept - 0.002f);
}
