// The second look's pure parts: which candidates are one place, which faint boxes sit where a
// partly hidden person would, and the mapping of a mirrored cell's faces back to the panorama.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "selvo/CandidateMosaic.h"

using selvo::CandidateMosaic;
using selvo::rect;

namespace {
rect box(float x, float y, float side, float score = 0.3f) {
  return rect{x, y, side, side, -1, score};
}
}  // namespace

TEST(CandidateMosaicTest, CandidatesOfOnePlaceAreLookedAtOnceBestFirst) {
  struct Case {
    const char* name;
    std::vector<rect> candidates;
    size_t most;
    std::vector<float> placesX;  // the places' x, in order
  };
  const std::vector<Case> cases = {
      {"one face, boxes of two sizes round it: the better box stays",
       {box(100, 500, 20, 0.2f), box(98, 498, 24, 0.4f)},
       8,
       {98}},
      {"two faces apart", {box(100, 500, 20, 0.2f), box(300, 500, 20, 0.5f)}, 8, {300, 100}},
      {"a box holding a smaller one is the same place",
       {box(100, 500, 60, 0.5f), box(120, 520, 15, 0.3f)},
       8,
       {100}},
      {"at most `most`",
       {box(100, 500, 20, 0.2f), box(300, 500, 20, 0.5f), box(500, 500, 20, 0.4f)},
       2,
       {300, 500}},
      {"across the seam: x = 3835 and x = 0 are one place",
       {box(3835, 500, 20, 0.4f), box(1, 502, 16, 0.2f)},
       8,
       {3835}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<rect> places;
    CandidateMosaic::AddPlaces(places, c.candidates, 3840.0f, c.most);
    ASSERT_EQ(places.size(), c.placesX.size());
    for (size_t i = 0; i < places.size(); ++i) EXPECT_FLOAT_EQ(places[i].x, c.placesX[i]);
  }
  // Added to places already chosen: the same place is not taken twice, and `most` counts only
  // the new ones.
  std::vector<rect> places = {box(100, 500, 20, 0.5f)};
  CandidateMosaic::AddPlaces(places, {box(102, 502, 18, 0.1f), box(700, 500, 20, 0.08f)}, 3840, 1);
  ASSERT_EQ(places.size(), 2u);
  EXPECT_FLOAT_EQ(places[1].x, 700);
}

TEST(CandidateMosaicTest, AFaintBoxCountsOnlyBesideAndBelowALargerFoundFace) {
  // A found face of 80 pixels, centre x = 1040, top y = 300.
  const rect found{1000, 300, 80, 80, -1, 0.9f};
  struct Case {
    const char* name;
    rect faint;
    bool beside;
  };
  const std::vector<Case> cases = {
      {"beside the shoulders, lower and smaller: someone behind", box(1110, 440, 28), true},
      {"on the other side", box(942, 440, 28), true},
      {"on the chest, right under the face", box(1026, 440, 28), false},
      {"level with the face: no one sits there behind", box(1110, 300, 28), false},
      {"far below: the table", box(1110, 600, 28), false},
      {"far to the side: not behind this person", box(1300, 440, 28), false},
      {"as large as the found face: not farther away", box(1110, 440, 76), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CandidateMosaic::BesideFound(c.faint, found, 3840), c.beside);
  }
  // Across the seam: the found face at the right edge, the faint box past x = 0.
  const rect atEdge{3790, 300, 40, 40, -1, 0.9f};
  EXPECT_TRUE(CandidateMosaic::BesideFound(box(10, 380, 20), atEdge, 3840));
  EXPECT_FALSE(CandidateMosaic::BesideFound(box(10, 380, 20), atEdge, 0));
}

TEST(CandidateMosaicTest, FacesOfAMirroredCellComeBackWhereTheyAreInThePanorama) {
  // Two places, two views each: cells 0 and 1 show place 0 (plain, mirrored), 2 and 3 place 1.
  std::vector<rect> places = {box(1000, 500, 20), box(3830, 480, 30)};
  std::vector<uint8_t> luma(3840 * 1080, 100);
  selvo::LumaPlane plane{luma.data(), 3840, 1080, 3840, true};
  cv::Mat input;
  std::vector<CandidateMosaic::Cell> cells;
  CandidateMosaic::Build(plane, places, 0, input, cells);
  ASSERT_EQ(cells.size(), 4u);
  EXPECT_FALSE(cells[0].mirrored);
  EXPECT_TRUE(cells[1].mirrored);
  EXPECT_FALSE(cells[2].mirrored);
  EXPECT_TRUE(cells[3].mirrored);
  EXPECT_FLOAT_EQ(cells[1].region.x, cells[0].region.x);
  // The region is three face sides round the place.
  EXPECT_FLOAT_EQ(cells[0].region.width, 60);
  EXPECT_FLOAT_EQ(cells[0].region.x, 980);

  const int k = CandidateMosaic::kCell;
  // A face a little left of the middle of the plain cell and the same face, mirrored, a little
  // right of the middle of the mirrored cell: both are the same panorama box.
  rect left{k / 2.0f - 24, k / 2.0f - 20, 40, 40, -1, 0.8f};
  rect right{k + k / 2.0f - 16, k / 2.0f - 20, 40, 40, -1, 0.8f};
  std::vector<rect> back = CandidateMosaic::MapBack({left, right}, cells, 3840, true);
  ASSERT_EQ(back.size(), 2u);
  for (const rect& b : back) {
    EXPECT_NEAR(b.x, 980 + (k / 2.0f - 24) * 60 / k, 1e-3);
    EXPECT_NEAR(b.width, 40 * 60.0f / k, 1e-3);
    EXPECT_NEAR(b.y, 500 + 10 - 30 + (k / 2.0f - 20) * 60 / k, 1e-3);
  }
  // Place 1 crosses the seam: its faces come back with x inside the picture.
  rect seam{k / 2.0f - 4, k + k / 2.0f - 20, 40, 40, -1, 0.8f};
  back = CandidateMosaic::MapBack({seam}, cells, 3840, true);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_NEAR(back[0].x, 3800 + (k / 2.0f - 4) * 90 / k - 3840, 1e-2);
  // A face at a cell's edge is a neighbour, not the place looked at.
  EXPECT_TRUE(CandidateMosaic::MapBack({rect{2, 2, 20, 20, -1, 0.9f}}, cells, 3840, true).empty());
  // Cells beyond those filled show nothing.
  std::vector<CandidateMosaic::Cell> one(cells.begin(), cells.begin() + 1);
  EXPECT_TRUE(CandidateMosaic::MapBack({right}, one, 3840, true).empty());
}

TEST(CandidateMosaicTest, AFaintBoxBehindAFoundPersonIsWhereTheirNeighbourSitsBehind) {
  // A found face of 60 pixels, centre x = 1030, top y = 400: the face behind shows about 1.4 of
  // its widths across and 2.1 of its heights below its top, centre (1114, 526) or (946, 526).
  const rect found{1000, 400, 60, 60, -1, 0.9f};
  struct Case {
    const char* name;
    rect faint;
    bool behind;
  };
  const std::vector<Case> cases = {
      {"where the face behind shows", box(1102, 514, 24), true},
      {"on the other side", box(934, 514, 24), true},
      {"larger, as the boxes of a faint face often are", box(1094, 506, 40), true},
      {"beside, but at the shoulder", box(1066, 514, 24), false},
      {"beside, but well above", box(1102, 448, 24), false},
      {"beside, but far to the side", box(1150, 514, 24), false},
      {"a speck", box(1109, 521, 10), false},
      {"as large as the found face: not behind", box(1090, 500, 55), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CandidateMosaic::Behind(c.faint, found, 3840), c.behind);
  }
  // Across the seam: the found face at the right edge, the face behind past x = 0.
  const rect atEdge{3820, 400, 60, 60, -1, 0.9f};
  EXPECT_TRUE(CandidateMosaic::Behind(box(82, 514, 24), atEdge, 3840));
  EXPECT_FALSE(CandidateMosaic::Behind(box(82, 514, 24), atEdge, 0));
}

TEST(CandidateMosaicTest, APlaceIsAFaceWhenOneViewIsSureOrBothViewsAgree) {
  // Cells 2p and 2p + 1 are place p as it is and mirrored; the confidence is 0.6 and both views
  // agree at 0.5.
  struct Case {
    const char* name;
    std::vector<float> scores;  // one face per entry
    std::vector<size_t> cellOf;
    std::vector<float> kept;  // the scores of the faces kept, in order
  };
  const std::vector<Case> cases = {
      {"one view at the confidence: its face, not the other view's weaker one",
       {0.7f, 0.52f},
       {0, 1},
       {0.7f}},
      {"the mirrored view at the confidence, the other finds nothing", {0.65f}, {1}, {0.65f}},
      {"both views agree below the confidence: both faces", {0.55f, 0.51f}, {0, 1}, {0.55f, 0.51f}},
      {"one view below the confidence, the other finds nothing", {0.58f}, {0}, {}},
      {"one view short of the agreed score", {0.58f, 0.45f}, {0, 1}, {}},
      {"two faces in one view are not two views", {0.55f, 0.54f}, {0, 0}, {}},
      {"views of different places do not agree", {0.55f, 0.54f}, {1, 2}, {}},
      {"places are counted over every mosaic: cells 4 and 5 are place 2",
       {0.53f, 0.52f, 0.4f},
       {4, 5, 6},
       {0.53f, 0.52f}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<rect> faces;
    for (float s : c.scores) faces.push_back(box(100, 100, 20, s));
    std::vector<rect> kept = CandidateMosaic::Confirmed(faces, c.cellOf, 0.6f, 0.5f);
    ASSERT_EQ(kept.size(), c.kept.size());
    for (size_t i = 0; i < kept.size(); ++i) EXPECT_FLOAT_EQ(kept[i].score, c.kept[i]);
  }
}
