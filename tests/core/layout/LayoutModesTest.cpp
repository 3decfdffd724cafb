#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "LayoutFenceProperty.h"
#include "LayoutHarness.h"

using namespace layouttest;

// What the modes choose: who gets a tile, in which order, merged or split, and where.
namespace {

std::vector<int> ids(const std::vector<roi_pair>& pairs) {
  std::vector<int> out;
  for (const roi_pair& p : pairs) {
    if (out.empty() || out.back() != p.src.id) out.push_back(p.src.id);
  }
  return out;
}

}  // namespace

TEST(LayoutModes, ComposeChoosesByPriorityAndOrdersByPosition) {
  Harness h;
  h.engine.SetLayoutMode(0);
  h.engine.SetGridComposeModeMaxCount(3);
  h.engine.EnableROIAutoMerge(false);
  for (int i = 0; i < 6; ++i) {
    h.untracked.push_back(box(static_cast<float>(200 + i * 600), 400, 250, 280, i + 1));
  }
  h.tracked = {h.untracked[4]};  // person 5 tracked
  h.untracked.erase(h.untracked.begin() + 4);
  h.pins = {6, 2};
  Frame f = h.run(30);
  // Without auto-merge, a tile each: pins 6 and 2, then the tracked 5; shown left to right.
  EXPECT_EQ(ids(f.main[1]), (std::vector<int>{2, 5, 6}));
  ASSERT_EQ(f.main[0].size(), 1u);  // the band over the row
  EXPECT_EQ(f.main[0][0].src.width, 3840);
  // With it, neighbours share the three tiles and everyone is shown, each whole in one of them.
  h.engine.EnableROIAutoMerge(true);
  f = h.run(30);
  EXPECT_EQ(ids(f.main[1]), (std::vector<int>{1, 3, 5}));
  for (int t = 0; t < 3; ++t) {
    const roi_pair& tile = f.main[1][static_cast<size_t>(t)];
    EXPECT_LE(tile.src.x, 200 + 1200 * t);
    EXPECT_GE(tile.src.x + tile.src.width, 200 + 1200 * t + 850);
    EXPECT_LE(tile.src.x + tile.src.width, 200 + 1200 * t + 1200);
  }
}

TEST(LayoutModes, GridShapesFollowTheHeadCount) {
  const std::vector<std::pair<int, int>> shapes = {{1, 1}, {2, 1}, {2, 2}, {2, 2}, {3, 2},
                                                   {3, 2}, {3, 3}, {3, 3}, {3, 3}};
  for (int n = 1; n <= 9; ++n) {
    EXPECT_EQ(selvo::GridPlanner::gridShape(n), shapes[n - 1]);
    Harness h;
    h.engine.SetLayoutMode(3);
    h.engine.SetMaxGridCount(9);
    h.engine.EnableROIAutoMerge(false);
    for (int i = 0; i < n; ++i) {
      h.untracked.push_back(box(static_cast<float>(i * 420), 400, 250, 280, i + 1));
    }
    const Frame f = h.run(30);
    ASSERT_EQ(ids(f.main[1]).size(), static_cast<size_t>(n));
    // Cells tile the output without overlapping.
    double area = 0;
    for (const roi_pair& p : f.main[1]) area += p.dst.width * p.dst.height;
    const auto [cols, rows] = shapes[n - 1];
    EXPECT_NEAR(area, 1280.0 * 720.0 * n / (cols * rows), 1280.0 * 2) << n;
  }
  // Five: the second row of two is centred.
  EXPECT_EQ(selvo::GridPlanner::cell(3, 5, box(0, 0, 1280, 720, -1)).x, 213);
}

TEST(LayoutModes, AutoMergeSharesATileBetweenNeighbours) {
  Harness h;
  h.engine.SetLayoutMode(3);
  // 1 and 2 sit apart, but so close that their shots mostly overlap.
  h.untracked = {box(1000, 400, 250, 280, 1), box(1280, 400, 250, 280, 2),
                 box(2600, 400, 250, 280, 3), box(3300, 400, 250, 280, 4)};
  Frame f = h.run(30);
  ASSERT_EQ(ids(f.main[1]), (std::vector<int>{1, 3, 4}));
  EXPECT_LE(f.main[1][0].src.x, 1000);
  EXPECT_GE(f.main[1][0].src.x + f.main[1][0].src.width, 1530);
  // Hysteresis: a little apart stays together (a fresh pair this far apart would not merge).
  h.untracked[1].x = 1360;
  EXPECT_EQ(ids(h.run(30).main[1]), (std::vector<int>{1, 3, 4}));
  h.untracked[1].x = 1500;
  EXPECT_EQ(ids(h.run(30).main[1]), (std::vector<int>{1, 2, 3, 4}));
  h.untracked[1].x = 1360;
  EXPECT_EQ(ids(h.run(30).main[1]), (std::vector<int>{1, 2, 3, 4}));
  h.engine.EnableROIAutoMerge(false);
  h.untracked[1].x = 1280;
  EXPECT_EQ(ids(h.run(30).main[1]), (std::vector<int>{1, 2, 3, 4}));
}

// People close to a 180-degree camera, their boxes overlapping side by side (as the demo clip
// shows them): each is whole in exactly one cell, no cell edge runs through anyone's core (their
// boxes' margins may be cut where no edge passes between the boxes).
TEST(LayoutModes, GridShowsPackedPeopleEachWholeInOneCell) {
  Harness h(false, 3840, 1080);
  h.engine.SetLayoutMode(3);
  h.engine.SetMaxGridCount(8);
  h.untracked = {box(86, 181, 490, 546, 1),  box(443, 216, 508, 564, 2), box(1013, 80, 418, 464, 3),
                 box(1595, 0, 592, 658, 4),  box(2016, 20, 568, 632, 5), box(2499, 0, 502, 558, 6),
                 box(3304, 123, 536, 596, 7)};
  Room room;
  room.is360 = false;
  room.mode = 3;
  room.people = h.untracked;
  const auto check = [&](const Frame& f) {
    const std::vector<Crop> cells = crops(f.main[1], 3840, false);
    for (const rect& b : h.untracked) {
      int in = 0;
      for (const Crop& c : cells) {
        in += whole(c, core(b, room), room) ? 1 : 0;
        EXPECT_FALSE(cuts(c, core(b, room), room)) << "person " << b.id;
      }
      EXPECT_EQ(in, 1) << "person " << b.id;
    }
  };
  Frame f = h.run(30);
  EXPECT_EQ(ids(f.main[1]), (std::vector<int>{1, 4, 7}));
  check(f);
  // At most two cells: the room in two runs.
  h.engine.SetMaxGridCount(2);
  f = h.run(30);
  EXPECT_EQ(ids(f.main[1]).size(), 2u);
  check(f);
  // Without auto-merge everyone keeps a cell of their own.
  h.engine.EnableROIAutoMerge(false);
  h.engine.SetMaxGridCount(8);
  EXPECT_EQ(ids(h.run(30).main[1]), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
}

TEST(LayoutModes, TwoGroupsSplitAtTheLargestGaps) {
  Harness h;
  h.engine.SetLayoutMode(6);
  // Two clusters, one of them across the seam.
  h.untracked = {box(3600, 400, 250, 280, 1), box(100, 400, 250, 280, 2),
                 box(1700, 400, 250, 280, 3), box(2000, 400, 250, 280, 4)};
  const Frame f = h.run(30);
  const auto& tiles = f.main[0];
  // Side by side: each half holds one cluster; the one across the seam is split in two pieces.
  std::set<float> lefts;
  for (const roi_pair& p : tiles) lefts.insert(p.dst.x);
  EXPECT_EQ(lefts.count(0), 1u);
  double covered1 = 0;
  for (const roi_pair& p : tiles) {
    EXPECT_EQ(p.dst.height, 720);
    if (p.dst.x >= 640) {
      EXPECT_LE(p.src.x, 1700);  // holds 3 and 4
      EXPECT_GE(p.src.x + p.src.width, 2250);
    } else {
      covered1 += p.src.width;
    }
  }
  EXPECT_GE(covered1, 100 + 350 - 3600 + 3840);  // 3600..3840 and 0..350
}

TEST(LayoutModes, TopDownStacksTheHalvesAndPanoramaLetterboxes) {
  Harness h;
  h.engine.SetLayoutMode(2);
  h.offset = 960;
  Frame f = h.run(5);
  ASSERT_EQ(f.main[0].size(), 3u);  // the second half runs over the source's edge
  h.offset = 0;
  f = h.run(5);
  ASSERT_EQ(f.main[0].size(), 2u);
  EXPECT_EQ(f.main[0][0].dst.y, 0);
  EXPECT_EQ(f.main[0][1].dst.y, 360);
  EXPECT_EQ(f.main[0][0].src.x, 0);
  EXPECT_EQ(f.main[0][1].src.x, 1920);

  Harness narrow(false, 1920, 1080);
  narrow.engine.SetLayoutMode(2);  // not for a 180-degree camera: the panorama instead
  f = narrow.run(5);
  ASSERT_EQ(f.main[0].size(), 1u);
  EXPECT_EQ(f.main[0][0].dst.height, 720);

  Harness wide(true, 1920, 960);
  wide.engine.SetLayoutMode(8);
  f = wide.run(5);
  ASSERT_EQ(f.main[0].size(), 1u);
  EXPECT_EQ(f.main[0][0].dst.width, 1280);
  EXPECT_EQ(f.main[0][0].dst.height, 640);
  EXPECT_EQ(f.main[0][0].dst.y, 40);
}

// People packed closer than compose's even slots can frame them: a run shown whole at the frame's
// height needs a wider tile than an even part of the row. The others give it the width, so every
// tile fills its part of the row at the full height and the output holds no black bar.
TEST(LayoutModes, ComposeRowIsFilledWhenARunNeedsAWiderTile) {
  struct Case {
    const char* what;
    bool is360;
    int people;
    float pitch;  // from one box's left edge to the next one's
    float width;  // of each box
    int count;    // the compose maximum
  };
  const Case cases[] = {
      {"eight on a 180-degree picture, six tiles", false, 8, 470, 360, 6},
      {"seven on a 180-degree picture, five tiles", false, 7, 520, 360, 5},
      {"eight round a 360-degree camera, six tiles", true, 8, 470, 360, 6},
      // Too many for the row at its height however it is shared: the row gets lower and the
      // band above it taller.
      {"eight shoulder to shoulder, four tiles", false, 8, 480, 432, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Harness h(c.is360, 3840, 1080);
    h.engine.SetLayoutMode(0);
    h.engine.SetGridComposeModeMaxCount(c.count);
    for (int i = 0; i < c.people; ++i) {
      h.untracked.push_back(box(20 + static_cast<float>(i) * c.pitch, 140, c.width, 680, i + 1));
    }
    const Frame f = h.run(60);
    SCOPED_TRACE(describe(f.all()));
    ASSERT_EQ(f.main[0].size(), 1u);  // the band
    const double band = f.main[0][0].dst.height;
    std::vector<std::pair<double, double>> spans;
    for (const roi_pair& p : f.main[1]) {
      EXPECT_EQ(p.dst.y, band) << "a tile shown lower in its part of the row";
      EXPECT_EQ(p.dst.y + p.dst.height, 720) << "a tile shown lower in its part of the row";
      EXPECT_NEAR(p.src.width / p.src.height, p.dst.width / p.dst.height, 0.01)
          << "a tile's picture stretched";
      spans.emplace_back(p.dst.x, p.dst.x + p.dst.width);
    }
    std::sort(spans.begin(), spans.end());
    double x = 0;
    for (const auto& [left, right] : spans) {
      EXPECT_NEAR(left, x, 0.5) << "a gap in the row";
      x = right;
    }
    EXPECT_NEAR(x, 1280, 0.5) << "the row ends short of the output's edge";
    // Everyone still whole in exactly one tile, nobody cut.
    Room room;
    room.is360 = c.is360;
    room.width = 3840;
    room.mode = 0;
    const std::vector<Crop> all = crops(f.main[1], 3840, c.is360);
    for (const rect& p : h.untracked) {
      int wholeIn = 0;
      for (const Crop& crop : all) {
        wholeIn += whole(crop, core(p, room), room) ? 1 : 0;
        EXPECT_FALSE(cuts(crop, core(p, room), room)) << "person " << p.id << " cut";
      }
      EXPECT_EQ(wholeIn, 1) << "person " << p.id;
    }
  }
}
