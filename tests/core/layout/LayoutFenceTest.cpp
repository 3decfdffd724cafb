#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "LayoutFenceProperty.h"
#include "LayoutHarness.h"
#include "selvo/Framing.h"

using namespace layouttest;

namespace {

constexpr int kModes[] = {0, 1, 2, 3, 5, 6, 7, 8, 9};

std::vector<rect> seated(const Harness& h) {
  std::vector<rect> all = h.tracked;
  all.insert(all.end(), h.untracked.begin(), h.untracked.end());
  return all;
}

// Nobody is cut by any crop that frames people, nor by the seam of a whole-turn view the user
// did not place. Returns the crops for further checks.
std::vector<Crop> checkNoCut(const Frame& f, const Room& room, const std::vector<rect>& people) {
  const std::vector<Crop> all = crops(f.all(), room.width, room.is360);
  for (const Crop& c : all) {
    const CropKind kind = kindOf(c, room);
    for (const rect& p : people) {
      if (kind == CropKind::Fenced) {
        EXPECT_FALSE(cuts(c, core(p, room), room))
            << "crop " << c.src.x << "," << c.src.y << " " << c.src.width << "x" << c.src.height
            << " #" << c.id << " cuts person " << p.id << " at " << sourceX(p, room) << "," << p.y
            << " " << p.width << "x" << p.height;
      } else if (kind == CropKind::WholeTurn) {
        EXPECT_FALSE(seamCuts(c, p, room)) << "panorama from " << c.src.x << " splits person "
                                           << p.id << " at " << sourceX(p, room);
      }
    }
  }
  return all;
}

int wholeIn(const std::vector<Crop>& all, const rect& p, const Room& room, bool band) {
  int n = 0;
  for (const Crop& c : all) {
    const CropKind kind = kindOf(c, room);
    if (kind == CropKind::Free && !(band && c.id == -1)) continue;
    if (kind == CropKind::WholeTurn ? !seamCuts(c, p, room) : whole(c, core(p, room), room)) ++n;
  }
  return n;
}

// Where a mode shows people, everyone up to its limit is whole in a tile; in two groups each
// person is in exactly one group.
void checkShown(const std::vector<Crop>& all, const Room& room, const std::vector<rect>& people) {
  if (people.empty()) return;
  const auto count = [&] {
    int n = 0;
    for (const rect& p : people) n += wholeIn(all, p, room, false) > 0;
    return n;
  };
  const int n = static_cast<int>(people.size());
  switch (room.mode) {
    case 0:
      EXPECT_GE(count(), std::min(n, 6));
      break;
    case 3:
      EXPECT_GE(count(), std::min(n, 4));
      break;
    case 6: {
      std::vector<Crop> groups;
      for (const Crop& c : all) {
        if (kindOf(c, room) == CropKind::Fenced) groups.push_back(c);
      }
      for (const rect& p : people) {
        int in = 0;
        int touched = 0;
        for (const Crop& g : groups) {
          in += whole(g, core(p, room), room);
          touched += covered(g, p, room) > 0.5;
        }
        if (!groups.empty()) {
          EXPECT_EQ(in, 1) << "person " << p.id << " in " << in << " groups";
          EXPECT_EQ(touched, 1) << "person " << p.id;
        } else if (!room.is360 || room.offset == 0) {
          EXPECT_EQ(wholeIn(all, p, room, false), 1);
        }
      }
      break;
    }
    case 8:
      if (!room.is360 || room.offset == 0) {
        EXPECT_EQ(count(), n);
      }
      break;
    case 1:
      if (room.fit == 3 && (room.offset == 0 || !room.is360)) {
        EXPECT_EQ(count(), n);
      }
      break;
    default:
      break;
  }
}

}  // namespace

TEST(LayoutFenceProperty, NoTileEdgeCutsAPersonInAnyMode) {
  std::mt19937 rng(32);
  for (int scene = 0; scene < 270; ++scene) {
    const Room room = seatedRoom(rng, kModes[scene % 9]);
    Harness h(room.is360, room.width, 1080);
    seat(h, room);
    static const int angles[] = {-150, -60, 0, 45, 120, 180};
    SCOPED_TRACE("scene " + std::to_string(scene) + " mode " + std::to_string(room.mode) + " fit " +
                 std::to_string(room.fit) + " offset " + std::to_string(room.offset) + " mirror " +
                 std::to_string(room.mirror) + " 360 " + std::to_string(room.is360) + " people " +
                 std::to_string(room.people.size()));
    // A still room: people join (the cameras move to them), then hold still. Where they come to
    // rest nobody is cut, and everyone the mode shows is whole in a tile.
    for (int frame = 0; frame < 50; ++frame) {
      const Frame f = h.frame();
      if (frame < 45) continue;
      SCOPED_TRACE("frame " + std::to_string(frame));
      const std::vector<Crop> all = checkNoCut(f, room, seated(h));
      if (frame == 45) checkShown(all, room, seated(h));
      if (HasFailure()) return;
    }
    // Speakers come and go, then all is quiet again and settled: nobody cut, and the same
    // picture frame after frame.
    for (int frame = 0; frame < 40; ++frame) {
      h.voice_angle = frame % 7 < 4 ? &angles[(scene + frame / 10) % 6] : nullptr;
      h.frame();
    }
    h.voice_angle = nullptr;
    h.run(200);
    const Frame a = h.frame();
    const Frame b = h.frame();
    EXPECT_TRUE(sameFrame(a, b));
    checkNoCut(b, room, seated(h));
    if (HasFailure()) return;
    // The room turns (everyone moves the same way, some across the seam) and settles again:
    // nobody is cut where the cameras come to rest.
    for (int step = 0; step < 4 && room.is360; ++step) {
      for (auto* list : {&h.tracked, &h.untracked}) {
        for (rect& r : *list) {
          r.x += 97;
          if (r.x >= room.width) r.x -= room.width;
        }
      }
      h.run(40);
      SCOPED_TRACE("turned " + std::to_string(step));
      checkNoCut(h.frame(), room, seated(h));
      if (HasFailure()) return;
    }
  }
}

// ---- The fence on its own ----

namespace {

selvo::FramingLimits frame360() {
  selvo::FramingLimits l;
  l.width = 3840;
  l.height = 1080;
  l.circular = true;
  return l;
}

selvo::Body body(double x, double w, bool member, double y = 300, double h = 330) {
  selvo::Body b;
  b.x0 = x;
  b.x1 = x + w;
  b.y0 = y;
  b.y1 = y + h;
  b.member = member;
  return b;
}

selvo::CropPose pose(double left, double width, double aspect, double cy = 500) {
  selvo::CropPose p;
  p.h = width / aspect;
  p.cx = left + width * 0.5;
  p.cy = cy;
  return p;
}

double leftOf(const selvo::CropPose& p, double aspect) { return p.cx - p.h * aspect * 0.5; }
double rightOf(const selvo::CropPose& p, double aspect) { return p.cx + p.h * aspect * 0.5; }

}  // namespace

TEST(LayoutFence, EdgesMoveOutOfPeopleByTheCheaperWay) {
  const double aspect = 1.0;
  selvo::Framing::FenceScratch scratch;
  struct Case {
    const char* what;
    double neighbourX;  // a 300-wide neighbour right of the member at 1000..1300
    bool only;
    bool takenIn;  // the crop ends past the neighbour (else before it)
  };
  const Case cases[] = {
      {"mostly inside: widened to take them in", 1600, false, true},
      {"mostly outside: the edge moves into the gap", 1700, false, false},
      {"mostly inside but another group's: kept out", 1600, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<selvo::Body> bodies = {body(1000, 300, true), body(c.neighbourX, 300, false)};
    const selvo::CropPose in = pose(850, 950, aspect);  // 850..1800
    const selvo::CropPose out =
        selvo::Framing::fence(in, aspect, frame360(), bodies, c.only, scratch);
    const double l = leftOf(out, aspect);
    const double r = rightOf(out, aspect);
    EXPECT_LE(l, 1000);
    EXPECT_GE(r, 1300);
    if (c.takenIn) {
      EXPECT_GE(r, c.neighbourX + 300);
      EXPECT_GT(out.h, in.h);  // grown in height: the aspect holds
    } else {
      EXPECT_LE(r, c.neighbourX);
      EXPECT_GE(out.h, in.h * 0.999);  // slid, not narrowed
    }
    EXPECT_LE(out.cy - out.h / 2, 300);
    EXPECT_GE(out.cy + out.h / 2, 630);
  }
}

TEST(LayoutFence, CropsThatCutNobodyOrCannotBeFencedStayExactly) {
  selvo::Framing::FenceScratch scratch;
  const double aspect = 16.0 / 9.0;
  const selvo::CropPose in = pose(900, 960, aspect);  // 900..1860, 540 tall
  const std::vector<selvo::Body> clear = {body(1000, 300, true), body(1400, 300, false),
                                          body(2000, 300, false)};
  const selvo::CropPose same = selvo::Framing::fence(in, aspect, frame360(), clear, false, scratch);
  EXPECT_EQ(same.cx, in.cx);
  EXPECT_EQ(same.cy, in.cy);
  EXPECT_EQ(same.h, in.h);
  // A chain of people shoulder to shoulder wider than any crop of this height: nothing to do.
  std::vector<selvo::Body> chain;
  for (int i = 0; i < 12; ++i) chain.push_back(body(200.0 + i * 300, 310, i == 3));
  selvo::FramingLimits narrow = frame360();
  const double tall = 0.3;  // at most 324 wide at the full height
  const selvo::CropPose p = pose(1080, 320, tall);
  const selvo::CropPose kept = selvo::Framing::fence(p, tall, narrow, chain, false, scratch);
  EXPECT_EQ(kept.cx, p.cx);
  EXPECT_EQ(kept.h, p.h);
}

TEST(LayoutFence, WorksAcrossTheSeamAndAtTheEdgesOfAHalfPicture) {
  selvo::Framing::FenceScratch scratch;
  const double aspect = 1.0;
  // A member just right of the seam, a neighbour across it at 3700..4000 (0..160 past it).
  const std::vector<selvo::Body> bodies = {body(200, 300, true), body(3700, 300, false)};
  const selvo::CropPose out =
      selvo::Framing::fence(pose(-40, 700, aspect), aspect, frame360(), bodies, false, scratch);
  const double l = leftOf(out, aspect);
  EXPECT_TRUE(l <= 3700 - 3840 || l >= 160) << l;
  // On a 180-degree picture a person at the very edge is taken in up to the edge.
  selvo::FramingLimits half;
  half.width = 1920;
  half.height = 1080;
  const std::vector<selvo::Body> edge = {body(0, 250, false), body(400, 300, true)};
  const selvo::CropPose e =
      selvo::Framing::fence(pose(100, 700, aspect), aspect, half, edge, false, scratch);
  EXPECT_GE(leftOf(e, aspect), -1e-6);
  EXPECT_TRUE(leftOf(e, aspect) <= 1e-6 || leftOf(e, aspect) >= 250);
}

// A run of neighbours whose boxes are wider than the tallest crop of the tile's shape, their cores
// a little narrower: the crop holds the cores, and the width it has over them is shared between
// its two edges (up to the room an edge keeps where it can), so no edge lies right against the
// first or the last person's face while the other side keeps room.
TEST(LayoutFence, ACropBarelyWideEnoughForItsPeopleSharesItsRoomBetweenItsSides) {
  selvo::Framing::FenceScratch scratch;
  const double aspect = 460.0 / 1080.0;  // at most 460 wide, at the full height
  const auto person = [](double x, double w, double y, double h) {
    rect r = box(float(x), float(y), float(w), float(h), 0);
    selvo::Body b = selvo::Framing::body(r, 3840, true);
    b.member = true;
    return b;
  };
  struct Case {
    const char* what;
    double spare;   // crop width over the cores' span
    double room;    // what each edge keeps from the cores at least
  };
  const Case cases[] = {
      {"two pixels to spare", 2, 1},
      {"seven pixels to spare", 7, 3.5},
      {"twenty pixels to spare", 20, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Three seated people side by side: cores 416..508, 503..561 and up to 876 - spare.
    const double lastCoreEnd = 416 + 460 - c.spare;
    const std::vector<selvo::Body> bodies = {person(370, 184, 299, 226), person(474, 116, 450, 116),
                                             person(lastCoreEnd - 96, 128, 371, 170)};
    // The group's shot from the first box on: its right edge runs through the last core.
    const selvo::CropPose in = pose(365, 460, aspect, 540);
    const selvo::CropPose out = selvo::Framing::fence(in, aspect, frame360(), bodies, true, scratch);
    const double l = leftOf(out, aspect);
    const double r = rightOf(out, aspect);
    EXPECT_LE(l, 416 - c.room + 1e-6) << l << ".." << r;
    EXPECT_GE(r, lastCoreEnd + c.room - 1e-6) << l << ".." << r;
  }
}

// The right-hand grid cell of a 180-degree picture: its member sits at the edge, and beside them a
// row of people whose boxes overlap, too wide to take in, too close to leave out at the member's
// height. The edge then goes where it runs least deep into anyone: where two boxes overlap, at
// their sides, not through the middle of one (where the face is).
TEST(LayoutFence, PackedNeighboursAreCutAtTheirSidesNotThroughTheMiddle) {
  selvo::Framing::FenceScratch scratch;
  const double aspect = 16.0 / 9.0;
  selvo::FramingLimits half;
  half.width = 3840;
  half.height = 1080;
  half.minHeight = 270;
  const std::vector<selvo::Body> bodies = {
      body(1595, 592, false, 0, 658), body(2016, 568, false, 20, 632),
      body(2499, 502, false, 0, 558), body(3304, 536, true, 123, 596)};
  const selvo::CropPose in = pose(2251, 1589, aspect, 540);  // the member's shot, held at the edge
  const selvo::CropPose out = selvo::Framing::fence(in, aspect, half, bodies, false, scratch, true);
  const double l = leftOf(out, aspect);
  const double r = rightOf(out, aspect);
  EXPECT_GE(l, 2499 - 0.5);  // inside the overlap of the last two neighbours
  EXPECT_LE(l, 2584 + 0.5);
  EXPECT_LE(r, 3840 + 1e-6);
  EXPECT_GE(r, 3840 - 0.5);  // the member whole, up to the picture's edge
  EXPECT_LE(out.cy - out.h / 2, 123 + 0.5);
  EXPECT_GE(out.cy + out.h / 2, 719 - 0.5);
  // A tile that keeps its aim on its subject (a speaker's, a group shot) stays as it was.
  const selvo::CropPose kept = selvo::Framing::fence(in, aspect, half, bodies, false, scratch);
  EXPECT_EQ(kept.cx, in.cx);
  EXPECT_EQ(kept.h, in.h);
}

TEST(LayoutFence, SeamGoesIntoTheWidestGap) {
  const std::vector<selvo::Body> bodies = {body(3700, 300, false), body(800, 300, false),
                                           body(2000, 300, false)};
  // 160..800 (640), 1100..2000 (900), 2300..3700 (1400): the middle of the last.
  EXPECT_DOUBLE_EQ(selvo::Framing::seamIn(bodies, 3840, 0), 3000);
  EXPECT_DOUBLE_EQ(selvo::Framing::seamIn(bodies, 3840, 500), 500);  // already clear
  const std::vector<selvo::Body> ring = {body(0, 2000, false), body(1900, 2000, false)};
  EXPECT_DOUBLE_EQ(selvo::Framing::seamIn(ring, 3840, 0), 0);  // no gap anywhere
}

// ---- Table cases through the engine ----

namespace {

std::set<int> personTiles(const Frame& f) {
  std::set<int> ids;
  for (const roi_pair& p : f.main[1]) ids.insert(p.src.id);
  return ids;
}

}  // namespace

TEST(LayoutFenceCases, ComposeFramesSixPeopleByDefault) {
  struct Case {
    int people;
    size_t tiles;
  };
  for (const Case c : {Case{5, 5}, Case{7, 6}}) {
    SCOPED_TRACE(std::to_string(c.people) + " people");
    Harness h(true, 4992, 1248);
    h.engine.SetLayoutMode(0);
    h.engine.EnableROIAutoMerge(false);
    for (int i = 0; i < c.people; ++i) {
      h.untracked.push_back(
          box(static_cast<float>(150 + i * 4992 / c.people), 520, 280, 310, i + 1));
    }
    h.tracked.push_back(h.untracked.back());  // the last one is tracked: chosen before others
    h.untracked.pop_back();
    const Frame f = h.run(30);
    const std::set<int> shown = personTiles(f);
    EXPECT_EQ(shown.size(), c.tiles);
    EXPECT_TRUE(shown.count(c.people));
    Room room;
    room.width = 4992;
    room.mode = 0;
    room.people = seated(h);
    for (const Crop& crop : crops(f.main[1], 4992, true)) {
      for (const rect& p : room.people) EXPECT_FALSE(cuts(crop, core(p, room), room)) << p.id;
    }
  }
}

TEST(LayoutFenceCases, WholePanoramaStartsInTheWidestGapUnlessTheUserPlacedIt) {
  // Speaker mode before anyone speaks, people spread round the room: the whole panorama. One
  // sits across the seam (3700..4000 wraps to 0..160).
  struct Case {
    int offset;
    float start;  // where the panorama's source starts
  };
  for (const Case c : {Case{0, 3000}, Case{700, 700}}) {
    SCOPED_TRACE("offset " + std::to_string(c.offset));
    Harness h;
    h.engine.SetLayoutMode(5);
    h.offset = c.offset;
    h.untracked = {box(3700, 420, 300, 330, 1), box(800, 420, 300, 330, 2),
                   box(2000, 420, 300, 330, 3)};
    const Frame f = h.run(30);
    ASSERT_FALSE(f.main[0].empty());
    EXPECT_FLOAT_EQ(f.main[0][0].src.x, c.start);
    float width = 0;
    for (const roi_pair& p : f.main[0]) width += p.src.width;
    EXPECT_FLOAT_EQ(width, 3840);
  }
}

TEST(LayoutFenceCases, TheTurnedPanoramaHoldsUntilPeopleChange) {
  Harness h;
  h.engine.SetLayoutMode(8);
  h.untracked = {box(3700, 420, 300, 330, 1), box(800, 420, 300, 330, 2),
                 box(2000, 420, 300, 330, 3)};
  EXPECT_FLOAT_EQ(h.run(30).main[0][0].src.x, 3000);
  // Somebody shifts in their seat, the seam is clear again at 0: the view does not jump back.
  h.untracked[0].x = 3500;
  EXPECT_FLOAT_EQ(h.run(10).main[0][0].src.x, 3000);
  // Somebody sits down in the gap the view starts in: chosen anew, clear of everyone.
  h.untracked.push_back(box(2900, 420, 300, 330, 4));
  const Frame f = h.run(30);
  const float start = f.main[0][0].src.x;
  for (const rect& p : h.untracked) {
    const float into = std::fmod(start - p.x + 3840.0f, 3840.0f);
    EXPECT_FALSE(into > 0.5f && into < p.width - 0.5f) << p.id << " at " << start;
  }
  EXPECT_NE(start, 3000);
}

TEST(LayoutFenceCases, TwoGroupsNeverShareOrSliceAPerson) {
  struct Case {
    const char* what;
    std::vector<rect> people;
    size_t tiles;  // fenced group tiles
  };
  const Case cases[] = {
      // Groups {1, 2} and {3, 4}: a group shot 1.2 times as wide as its people would end 2
      // pixels into person 3.
      {"natural crop edge inside the other group",
       {box(100, 420, 300, 330, 1), box(420, 420, 300, 330, 2), box(780, 420, 300, 330, 3),
        box(1100, 420, 300, 330, 4)},
       2},
      // Boxes overlapping only at their margins: the split runs between the cores.
      {"boxes touching at their margins",
       {box(100, 420, 300, 330, 1), box(380, 420, 300, 330, 2), box(660, 420, 300, 330, 3)},
       2},
      // Cores overlapping everywhere but at the wide gap: one group.
      {"no second gap to split at",
       {box(100, 420, 300, 330, 1), box(240, 420, 300, 330, 2), box(380, 420, 300, 330, 3)},
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Harness h;
    h.engine.SetLayoutMode(6);
    h.untracked = c.people;
    const Frame f = h.run(30);
    Room room;
    room.mode = 6;
    room.people = c.people;
    std::vector<Crop> groups;
    for (const Crop& crop : crops(f.all(), 3840, true)) {
      if (kindOf(crop, room) == CropKind::Fenced) groups.push_back(crop);
    }
    ASSERT_EQ(groups.size(), c.tiles);
    for (const rect& p : c.people) {
      int in = 0;
      for (const Crop& g : groups) {
        EXPECT_FALSE(cuts(g, core(p, room), room)) << p.id;
        in += whole(g, core(p, room), room);
      }
      EXPECT_EQ(in, 1) << p.id;
    }
  }
}
