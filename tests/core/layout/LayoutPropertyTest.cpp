#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "LayoutScenes.h"

using namespace layouttest;

// Random rooms in every mode, mirrored or not, with any content offset, on both camera kinds:
// what must hold of every frame whatever the scene.
namespace {

constexpr int kModes[] = {0, 1, 2, 3, 5, 6, 7, 8, 9};
constexpr double kEps = 0.05;

Room randomRoom(std::mt19937& rng) {
  Room room;
  room.is360 = rng() % 3 != 0;
  room.mode = kModes[rng() % 9];
  room.fit = 1 + static_cast<int>(rng() % 3);
  room.mirror = rng() % 2 == 0;
  const int w = room.is360 ? 3840 : 1920;
  room.width = w;
  room.offset = room.is360 ? static_cast<int>(rng() % w) : 0;
  const int n = static_cast<int>(rng() % 15);
  for (int i = 0; i < n; ++i) {
    const float side = 200 + static_cast<float>(rng() % 300);
    const float x =
        room.is360 ? static_cast<float>(rng() % w) : static_cast<float>(rng() % (w - 500));
    const float height = side * 1.1f;
    const float y = static_cast<float>(rng() % static_cast<unsigned>(1080 - height));
    room.people.push_back(box(x, y, side, height, 100 + i));
  }
  if (rng() % 2) room.ignore.push_back(box(100, 100, 200, 200, 900));
  if (n > 0 && rng() % 2) room.pins.push_back(100 + static_cast<int>(rng() % n));
  return room;
}

// Where a stored rectangle appears in the control view, in video pixels.
double displayX(const rect& r, const Room& room, int w) {
  if (!room.is360) return room.mirror ? w - r.x - r.width : r.x;
  double u = std::fmod(r.x - room.offset + 2.0 * w, w);
  if (room.mirror) u = std::fmod(w - u - r.width + 2.0 * w, w);
  return u;
}

void checkFrame(const Frame& f, const Room& room, const Harness& h) {
  const double w = h.video_w;
  const double vh = h.video_h;
  std::set<int> known = {-1, 50, 51, 900};
  for (const rect& r : room.people) known.insert(r.id);

  const std::vector<roi_pair> main = f.all();
  ASSERT_LE(main.size(), 20u);
  ASSERT_LE(f.tiles.size() + f.borders.size(), 20u);
  for (const roi_pair& p : main) {
    EXPECT_GE(p.src.x, -kEps);
    EXPECT_GE(p.src.y, -kEps);
    EXPECT_LE(p.src.x + p.src.width, w + kEps);
    EXPECT_LE(p.src.y + p.src.height, vh + kEps);
    EXPECT_GT(p.src.width, 0.f);
    EXPECT_GT(p.src.height, 0.f);
    EXPECT_GE(p.dst.x, -kEps);
    EXPECT_GE(p.dst.y, -kEps);
    EXPECT_LE(p.dst.x + p.dst.width, 1280 + kEps);
    EXPECT_LE(p.dst.y + p.dst.height, 720 + kEps);
    // The picture is never stretched.
    EXPECT_NEAR(p.src.width / p.src.height, p.dst.width / p.dst.height,
                0.01 * p.dst.width / p.dst.height);
    EXPECT_EQ(p.src.id, p.dst.id);
    EXPECT_TRUE(known.count(p.src.id)) << p.src.id;
  }
  for (const roi_pair& p : f.main[1]) EXPECT_NE(p.src.id, -1);
  // A split crop: the first piece ends at the source's edge, the second starts at 0 and its
  // destination continues where the first one stops.
  for (size_t i = 0; i + 1 < main.size(); ++i) {
    const roi_pair& a = main[i];
    const roi_pair& b = main[i + 1];
    if (a.src.id == b.src.id && a.dst.y == b.dst.y &&
        std::fabs(a.dst.x + a.dst.width - b.dst.x) < kEps && b.src.x == 0 && room.is360 &&
        std::fabs(a.src.x + a.src.width - w) < kEps) {
      EXPECT_EQ(a.src.y, b.src.y);
      EXPECT_EQ(a.src.height, b.src.height);
    }
  }
  // Control view: every border sits where the user sees the rectangle.
  const double k = 1280.0 / w;
  for (const roi_pair& p : f.borders) {
    EXPECT_TRUE(known.count(p.dst.id)) << p.dst.id;
    EXPECT_EQ(p.src.id, p.dst.id);
    EXPECT_EQ(p.edge_flags, 15u);
    EXPECT_GE(p.dst.x, -kEps);
    EXPECT_LT(p.dst.x, 1280 + kEps);
    if (!room.is360) {
      EXPECT_LE(p.dst.x + p.dst.width, 1280 + kEps);
    }
    for (const rect& r : room.people) {
      if (r.id != p.dst.id) continue;
      EXPECT_NEAR(p.dst.x, displayX(r, room, h.video_w) * k, 0.05)
          << "id " << r.id << " x " << r.x << " w " << r.width << " offset " << room.offset
          << " mirror " << room.mirror;
      EXPECT_NEAR(p.dst.y, r.y * h.sub_h / vh, 0.05);
    }
  }
  for (const roi_pair& p : f.tiles) {
    EXPECT_EQ(p.edge_flags, 0u);
    EXPECT_EQ(p.subwindow_type, 1);
    EXPECT_LE(p.src.x + p.src.width, w + kEps);
  }
  // The control panorama starts at the content offset.
  ASSERT_FALSE(f.tiles.empty());
  const double start = room.mirror ? std::fmod(2.0 * w - room.offset, w) : room.offset;
  EXPECT_NEAR(f.tiles[0].src.x, room.is360 && start > 0.5 ? start : 0.0, 0.05);
}

}  // namespace

TEST(LayoutProperty, RandomRoomsKeepEveryInvariant) {
  std::mt19937 rng(20261209);
  for (int scene = 0; scene < 150; ++scene) {
    const Room room = randomRoom(rng);
    Harness h(room.is360, room.is360 ? 3840 : 1920, 1080);
    seat(h, room);
    static const int angles[] = {-150, -60, 0, 45, 120, 180};
    for (int frame = 0; frame < 40; ++frame) {
      h.voice_angle = frame % 7 < 4 ? &angles[(scene + frame / 10) % 6] : nullptr;
      // People drift a little, some of them more.
      for (auto* list : {&h.tracked, &h.untracked}) {
        for (rect& r : *list) {
          r.x += static_cast<float>(static_cast<int>(rng() % 9) - 4);
          if (!room.is360) r.x = std::clamp<float>(r.x, 0, 1920 - r.width);
        }
      }
      Room now = room;
      now.people.clear();
      for (auto* list : {&h.tracked, &h.untracked}) {
        now.people.insert(now.people.end(), list->begin(), list->end());
      }
      const Frame f = h.frame();
      SCOPED_TRACE("scene " + std::to_string(scene) + " mode " + std::to_string(room.mode) +
                   " frame " + std::to_string(frame));
      checkFrame(f, now, h);
      if (HasFatalFailure()) return;
    }
  }
}

TEST(LayoutProperty, SettledShotsContainTheirPeople) {
  // Grid cells of people who fit a cell: each cell's crop holds its person whole.
  std::mt19937 rng(7);
  for (int scene = 0; scene < 60; ++scene) {
    Harness h;
    h.engine.SetLayoutMode(3);
    h.engine.EnableROIAutoMerge(false);
    h.engine.SetMaxGridCount(9);
    h.engine.SetMirror(scene % 2 == 1);
    h.offset = static_cast<int>(rng() % 3840);
    const int n = 1 + static_cast<int>(rng() % 6);
    for (int i = 0; i < n; ++i) {
      h.untracked.push_back(box(static_cast<float>(i * 640 + rng() % 200),
                                static_cast<float>(200 + rng() % 300), 220, 240, 10 + i));
    }
    const Frame f = h.run(45);
    for (const rect& person : h.untracked) {
      // The person's columns on the sampled source (mirrored when the picture is).
      double x = scene % 2 == 1 ? 3840 - person.x - person.width : person.x;
      x = std::fmod(x + 3840, 3840);
      double covered = 0;
      double top = 1e9;
      double bottom = -1e9;
      for (const roi_pair& p : f.main[1]) {
        if (p.src.id != person.id) continue;
        top = std::min<double>(top, p.src.y);
        bottom = std::max<double>(bottom, p.src.y + p.src.height);
        for (double shift : {-3840.0, 0.0, 3840.0}) {
          const double lo = std::max<double>(x, p.src.x + shift);
          const double hi = std::min<double>(x + person.width, p.src.x + p.src.width + shift);
          covered += std::max(0.0, hi - lo);
        }
      }
      EXPECT_NEAR(covered, person.width, 0.5) << "scene " << scene << " id " << person.id;
      EXPECT_LE(top, person.y);
      EXPECT_GE(bottom, person.y + person.height);
    }
  }
}
