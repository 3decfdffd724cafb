#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LayoutHarness.h"
#include "selvo/Framing.h"
#include "selvo/RoomPartition.h"

using namespace layouttest;

// Dividing the room into runs of neighbours that tiles frame whole and alone, and splitting the
// turn where nobody sits: pure tables.
namespace {

selvo::PlanContext room(bool is360, std::vector<rect> boxes) {
  selvo::PlanContext c;
  c.geometry.is360 = is360;
  c.geometry.videoWidth = 3840;
  c.geometry.videoHeight = 1080;
  c.geometry.outputWidth = 1280;
  c.geometry.outputHeight = 720;
  for (const rect& b : boxes) {
    selvo::LayoutPerson p;
    p.id = b.id;
    p.box = b;
    c.people.push_back(p);
  }
  return c;
}

std::string ids(const std::vector<selvo::RoomPartition::Group>& groups) {
  std::string out;
  for (const auto& g : groups) {
    out += "[";
    for (const selvo::LayoutPerson* p : g) out += std::to_string(p->id);
    out += "]";
  }
  return out;
}

}  // namespace

TEST(RoomPartition, DividesIntoEvenRunsThatFitTheirTilesAlone) {
  // Boxes 300 wide (cores 150), 330 tall (cores 264).
  const auto at = [](float x, int id) { return box(x, 400, 300, 330, id); };
  struct Case {
    const char* what;
    bool is360;
    std::vector<rect> people;
    int count;
    double aspect;
    std::string runs;  // empty: no division
  };
  const std::vector<Case> cases = {
      {"six in three even runs",
       true,
       {at(0, 1), at(500, 2), at(1300, 3), at(1700, 4), at(2600, 5), at(3000, 6)},
       3,
       16.0 / 9.0,
       "[12][34][56]"},
      {"overlapping cores never part",
       true,
       {at(0, 1), at(120, 2), at(1300, 3), at(1700, 4), at(2600, 5), at(3000, 6)},
       5,
       16.0 / 9.0,
       "[12][3][4][5][6]"},
      {"a run across the seam",
       true,
       {at(3700, 1), at(100, 2), at(1300, 3), at(1700, 4)},
       2,
       16.0 / 9.0,
       "[12][34]"},
      {"too narrow a tile for the run: none",
       false,
       {at(0, 1), at(400, 2), at(800, 3), at(1200, 4)},
       1,
       0.42,
       ""},
      {"no gap wide enough for a tall tile beside a neighbour",
       false,
       {at(0, 1), at(380, 2)},
       2,
       16.0 / 9.0,
       ""},
      {"more runs than people: none", true, {at(0, 1), at(1000, 2)}, 3, 16.0 / 9.0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const selvo::PlanContext context = room(c.is360, c.people);
    selvo::RoomPartition partition;
    partition.build(context, context.byPosition());
    EXPECT_EQ(ids(partition.divide(c.count, c.aspect, {})), c.runs);
  }
}

TEST(RoomPartition, WaitingPeopleStandBetweenRunsAndTheLastDivisionHolds) {
  const auto at = [](float x, int id) { return box(x, 400, 300, 330, id); };
  selvo::PlanContext context = room(true, {at(0, 1), at(600, 2), at(1200, 3), at(1800, 4)});
  selvo::RoomPartition partition;
  partition.build(context, context.byPosition());
  EXPECT_EQ(ids(partition.divide(2, 16.0 / 9.0, {})), "[12][34]");
  // Someone not shown yet sits between 1 and 2: no run may hold them, and 4 and 1 together are
  // too wide for a tile.
  context.waiting.push_back(selvo::Framing::body(at(300, 9), 3840, true));
  partition.build(context, context.byPosition());
  EXPECT_EQ(ids(partition.divide(2, 16.0 / 9.0, {})), "[1][234]");
  // Evenly spaced: the runs that began last frame stay.
  selvo::PlanContext even = room(true, {at(0, 1), at(960, 2), at(1920, 3), at(2880, 4)});
  partition.build(even, even.byPosition());
  EXPECT_EQ(ids(partition.divide(2, 16.0 / 9.0, {2, 4})), "[23][41]");
  EXPECT_EQ(ids(partition.divide(2, 16.0 / 9.0, {1, 3})), "[12][34]");
  // fits: neighbours alone in a crop; not when someone overlapping them is left out.
  selvo::PlanContext packed = room(true, {at(0, 1), at(120, 2), at(1000, 3)});
  partition.build(packed, packed.byPosition());
  std::vector<const selvo::LayoutPerson*> one = {&packed.people[0]};
  std::vector<const selvo::LayoutPerson*> both = {&packed.people[0], &packed.people[1]};
  EXPECT_FALSE(partition.fits(one, 16.0 / 9.0));
  EXPECT_TRUE(partition.fits(both, 16.0 / 9.0));
}

TEST(Framing, TheTurnSplitsInTwoWhereNobodySits) {
  const auto body = [](double x, double w) {
    selvo::Body b;
    b.x0 = x;
    b.x1 = x + w;
    b.y0 = 400;
    b.y1 = 700;
    return b;
  };
  struct Case {
    const char* what;
    std::vector<selvo::Body> bodies;
    bool found;
    double first, second;  // expected, within 1 pixel; -1: only checked clear
  };
  const std::vector<Case> cases = {
      {"nobody near 0 or half the turn: kept", {body(500, 300), body(2500, 300)}, true, 0, 1920},
      {"someone across the seam and at the half",
       {body(3700, 300), body(1800, 300), body(900, 300), body(2800, 300)},
       true,
       -1,
       -1},
      {"no gap anywhere", {body(0, 2000), body(1900, 2000)}, false, 0, 1920},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    double a = -1, b = -1;
    EXPECT_EQ(selvo::Framing::halves(c.bodies, 3840, 0, 3840 * 0.35, 3840 * 0.65, a, b), c.found);
    if (c.first >= 0) {
      EXPECT_NEAR(a, c.first, 1);
      EXPECT_NEAR(b, c.second, 1);
      continue;
    }
    EXPECT_FALSE(selvo::Framing::crosses(c.bodies, a, 3840)) << a;
    EXPECT_FALSE(selvo::Framing::crosses(c.bodies, b, 3840)) << b;
    EXPECT_GE(b - a, 3840 * 0.35);
    EXPECT_LE(b - a, 3840 * 0.65);
  }
}

TEST(LayoutFence, PackedPeopleKeepTheirCoresWhole) {
  // Display boxes overlapping side by side (the margins round their faces) at a 180-degree
  // picture's edge: no edge passes between the boxes, so it runs through the margins, clear of
  // both cores.
  selvo::Framing::FenceScratch scratch;
  selvo::FramingLimits limits;
  limits.width = 3840;
  limits.height = 1080;
  const double aspect = 1.0;
  std::vector<selvo::Body> bodies = {selvo::Framing::body(box(0, 180, 490, 546, 1), 3840, false),
                                     selvo::Framing::body(box(440, 210, 500, 560, 2), 3840, false)};
  bodies[0].member = true;
  selvo::CropPose in;
  in.h = 546 * 1.0;
  in.cx = 245;
  in.cy = 460;
  const selvo::CropPose out =
      selvo::Framing::fence(in, aspect, limits, bodies, true, scratch, false);
  const double left = out.cx - out.h * aspect / 2;
  const double right = out.cx + out.h * aspect / 2;
  EXPECT_LE(left, bodies[0].coreX0 + 1e-6);
  EXPECT_GE(right, bodies[0].coreX1 - 1e-6);
  EXPECT_LE(right, bodies[1].coreX0 + 1e-6);
  EXPECT_LE(out.cy - out.h / 2, bodies[0].coreY0 + 1e-6);
  EXPECT_GE(out.cy + out.h / 2, bodies[0].coreY1 - 1e-6);
}
