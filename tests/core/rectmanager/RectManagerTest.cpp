#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <thread>

#include "OutlineBudget.h"
#include "RectIdCounter.h"
#include "RectManager.h"

using namespace orlith;
using selvo::rect;

namespace {

rect box(float x, float y, float w, float h, int id = -1) { return rect{x, y, w, h, id, -1.0f}; }

// A 360-degree panorama with small minimum sides, so rectangles keep the sizes the tests give.
struct Panorama : ::testing::Test {
  RectManager rm;
  void SetUp() override {
    rm.SetVideoInfo(3840, 1080, true);
    rm.SetMinSideLength(2);
    rm.SetFaceEnlargeRatio(1.0f);
  }
  // As the editor adds one: the rubber band first, then the rectangle.
  int addManual(float x, float y, float w, float h) {
    rm.SetTempRect(box(x, y, w, h));
    EXPECT_TRUE(rm.AddManualRect(box(x, y, w, h)));
    bool isNew = false;
    int id = -1;
    rm.GetLatestManulRectId(isNew, id);
    EXPECT_TRUE(isNew);
    rm.ValidateTrackedRect();
    return id;
  }
  const Extended_Rect* entry(int id) {
    entries = rm.GetEntries();
    for (auto& e : entries) {
      if (e.display.id == id) return &e;
    }
    return nullptr;
  }
  std::vector<Extended_Rect> entries;
};

}  // namespace

TEST(RectManagerFit, EnlargesAroundTheCentreAndKeepsInside) {
  rect r = box(500, 300, 100, 100);
  RectManager::validateRectSize(r, 3840, 1080, 50, true, 1.4f);
  EXPECT_FLOAT_EQ(r.width, 140);
  EXPECT_FLOAT_EQ(r.height, 140);
  EXPECT_FLOAT_EQ(r.x, 480);
  EXPECT_FLOAT_EQ(r.y, 280);

  rect low = box(10, 1000, 100, 100);  // grows past the bottom edge: pushed back up
  RectManager::validateRectSize(low, 3840, 1080, 320, false, 0);
  EXPECT_FLOAT_EQ(low.height, 320);
  EXPECT_FLOAT_EQ(low.y + low.height, 1080);
  EXPECT_FLOAT_EQ(low.x, 0);

  rect seam = box(-60, 100, 100, 100);  // 360 degrees: x wraps
  RectManager::validateRectSize(seam, 3840, 1080, 2, true, 0);
  EXPECT_FLOAT_EQ(seam.x, 3780);
}

TEST_F(Panorama, MaximumDetectionSide) {
  rm.SetMinSideLength(320);
  rm.SetDetectedRects({box(100, 100, 810, 200), box(1500, 100, 799, 799)});
  auto e = rm.GetEntries();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_FLOAT_EQ(e[0].tracking.width, 799);
  EXPECT_EQ(e[0].source, kDetectedRect);
  EXPECT_GT(e[0].display.id, 0);
}

TEST_F(Panorama, IgnoreAreasFilterByCentreAlongTheDominantAxis) {
  rm.StartIgnoreAreaEditing();
  ASSERT_TRUE(rm.AddIgnoreManualRect(box(1000, 100, 200, 600)));
  rm.EndIgnoreAreaEditing(true);
  ASSERT_EQ(rm.GetIgnoreAreas().size(), 1u);
  // Centre (1150, 400): dy 0 <= dx 50, half-width 100 > 50: dropped though it reaches out.
  // Centre (1250, 400): dx 150, half-width 100: kept.
  rm.SetDetectedRects({box(1050, 300, 200, 200), box(1150, 300, 200, 200)});
  auto e = rm.GetEntries();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_FLOAT_EQ(e[0].tracking.x, 1150);
}

TEST_F(Panorama, NewIgnoreAreasBeingEditedDoNotFilter) {
  rm.StartIgnoreAreaEditing();
  rm.AddIgnoreManualRect(box(1000, 100, 200, 600));
  rm.SetDetectedRects({box(1050, 300, 100, 100)});
  EXPECT_EQ(rm.GetEntries().size(), 1u);
}

TEST_F(Panorama, OverlapOfExactlyHalfUpdatesTheEntry) {
  rm.SetDetectedRects({box(0, 0, 100, 100)});
  int id = rm.GetEntries().at(0).display.id;
  rm.SetDetectedRects({box(0, 0, 100, 50)});  // IoU 0.5
  auto e = rm.GetEntries();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].display.id, id);
  EXPECT_FLOAT_EQ(e[0].tracking.height, 50);
  EXPECT_EQ(e[0].lost_count, 0);

  RectManager other;
  other.SetVideoInfo(3840, 1080, true);
  other.SetMinSideLength(2);
  other.SetFaceEnlargeRatio(1.0f);
  other.SetDetectedRects({box(0, 0, 100, 100)});
  other.SetDetectedRects({box(0, 0, 98, 50)});  // IoU 0.49
  e = other.GetEntries();
  ASSERT_EQ(e.size(), 2u);
  EXPECT_NE(e[1].display.id, e[0].display.id);
}

TEST_F(Panorama, UnmatchedTwiceIsRemovedOnTheSecondResult) {
  rm.SetDetectedRects({box(0, 0, 100, 100)});
  ASSERT_EQ(rm.GetEntries().size(), 1u);
  rm.SetDetectedRects({});
  ASSERT_EQ(rm.GetEntries().size(), 1u);
  EXPECT_EQ(rm.GetEntries()[0].lost_count, 1);
  rm.SetDetectedRects({});
  EXPECT_TRUE(rm.GetEntries().empty());
}

TEST_F(Panorama, DetectionAcrossTheSeamMatchesAnEntryAtTheLeftEdge) {
  rm.SetDetectedRects({box(0, 100, 100, 100)});
  int id = rm.GetEntries().at(0).display.id;
  rm.SetDetectedRects({box(3790, 100, 150, 100)});
  auto e = rm.GetEntries();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].display.id, id);
  EXPECT_FLOAT_EQ(e[0].tracking.x, 3790);
}

TEST_F(Panorama, ReplaceTrackingOnlyUpdatesTrackedDetections) {
  rm.EnableAutoDetectTracking();
  rm.SetDetectedRects({box(0, 0, 100, 100)});
  rm.DisableAutoDetectTracking();
  rm.SetDetectedRects({box(1000, 0, 100, 100)});  // untracked
  rm.ValidateTrackedRect();                       // untrack-all-detected: both untracked
  rm.EnableAutoDetectTracking();
  rm.ValidateTrackedRect();
  rm.SetDetectedRects_replace_tracking({box(0, 0, 100, 50), box(2000, 0, 100, 100)});
  auto e = rm.GetEntries();
  ASSERT_EQ(e.size(), 2u);  // the unmatched one is dropped
  EXPECT_FLOAT_EQ(e[0].tracking.height, 50);
}

TEST_F(Panorama, TrackerResultsMoveTheDisplayOnlyBeyondFifteenPixels) {
  int id = addManual(1000, 300, 100, 100);
  rm.SetTrackedRects({box(1010, 300, 100, 100, id)});
  const Extended_Rect* e = entry(id);
  ASSERT_NE(e, nullptr);
  EXPECT_FLOAT_EQ(e->display.x, 1000);
  EXPECT_FLOAT_EQ(e->tracking.x, 1010);
  rm.SetTrackedRects({box(1016, 300, 100, 100, id)});
  e = entry(id);
  EXPECT_FLOAT_EQ(e->display.x, 1016);
  EXPECT_EQ(e->display.id, id);
}

TEST_F(Panorama, PinsPerLayoutMode) {
  int a = addManual(100, 100, 100, 100);
  int b = addManual(400, 100, 100, 100);
  rm.SetLayoutMode(7);
  rm.PinRect(a);
  rm.ValidateTrackedRect();
  EXPECT_TRUE(rm.IsRectPinned(a));
  rm.PinRect(b);
  rm.ValidateTrackedRect();
  EXPECT_EQ(rm.GetPinnedIds(), std::vector<int>{b});
  EXPECT_FALSE(rm.IsRectPinned(a));
  rm.PinRect(b);
  rm.ValidateTrackedRect();
  EXPECT_TRUE(rm.GetPinnedIds().empty());

  rm.SetLayoutMode(0);
  rm.PinRect(a);
  rm.ValidateTrackedRect();
  EXPECT_TRUE(rm.IsRectPinned(a));
  EXPECT_EQ(rm.GetPinnedIds().size(), 8u);
  rm.PinRect(a);
  rm.ValidateTrackedRect();
  EXPECT_FALSE(rm.IsRectPinned(a));

  rm.SetLayoutMode(3);  // a ring of the maximum grid count (4)
  for (int id : {a, b, 1001, 1002, 1003}) rm.PinRect(id);
  rm.ValidateTrackedRect();
  EXPECT_TRUE(rm.IsRectPinned(1003));
  EXPECT_EQ(rm.GetPinnedIds().size(), 4u);

  rm.SetLayoutMode(8);
  rm.PinRect(a);
  rm.ValidateTrackedRect();
  EXPECT_FALSE(rm.IsRectPinned(a));
  EXPECT_TRUE(rm.GetPinnedIds().empty());

  rm.SetLayoutMode(7);
  rm.PinRect(a);
  rm.RemoveRect(false, a);  // removing a rectangle takes its pins with it
  rm.ValidateTrackedRect();
  EXPECT_FALSE(rm.IsRectPinned(a));
}

TEST_F(Panorama, OffsetAndMirrorConvertBothWays) {
  rm.SetBasePositionOffset(1000);
  rm.SetMirror(true);
  int id = addManual(100, 200, 400, 300);
  EXPECT_FLOAT_EQ(entry(id)->display.x, 500);  // (3840 - 100 - 400 + 1000) mod 3840
  int x = 0, y = 0, w = 0, h = 0;
  rm.GetDisplayRect(id, x, y, w, h);
  EXPECT_EQ(x, 100);
  EXPECT_EQ(y, 200);
  EXPECT_EQ(w, 400);
  EXPECT_EQ(h, 300);

  rm.SetMirror(false);
  rm.SetBasePositionOffset(-100);
  EXPECT_EQ(rm.BasePositionOffset(), 3740);
  int id2 = addManual(200, 0, 100, 100);
  EXPECT_FLOAT_EQ(entry(id2)->display.x, 100);  // 200 + 3740 wraps to 100
  rm.GetDisplayRect(id2, x, y, w, h);
  EXPECT_EQ(x, 200);

  ASSERT_TRUE(rm.StartTransformRect(id2));
  rm.SetTransformingRect(300, 50, 120, 80);
  rm.ValidateTrackedRect();
  rm.GetDisplayRect(id2, x, y, w, h);
  EXPECT_EQ(x, 300);
  EXPECT_EQ(y, 50);
  EXPECT_EQ(w, 120);
  rm.GetTransformingRect(x, y, w, h);
  EXPECT_EQ(x, 300);
  EXPECT_FALSE(rm.StartTransformRect(id));  // one transform at a time
  rm.EndTransformRect();
}

TEST(RectManagerFlat, OffsetIsOnlyForPanoramas) {
  RectManager rm;
  rm.SetVideoInfo(1920, 1080, false);
  rm.SetBasePositionOffset(100);
  EXPECT_EQ(rm.BasePositionOffset(), 0);
}

TEST_F(Panorama, HitTestingNearTheSeam) {
  int across = addManual(3700, 100, 300, 200);  // covers 3700..4000, i.e. up to x 160
  bool track = true, detect = true;
  int id = -1;
  EXPECT_TRUE(rm.FindRect(50, 150, track, detect, id));
  EXPECT_EQ(id, across);
  EXPECT_FALSE(track);
  EXPECT_FALSE(detect);
  EXPECT_TRUE(rm.FindRect(3750, 150, track, detect, id));
  EXPECT_FALSE(rm.FindRect(200, 150, track, detect, id));
  EXPECT_FALSE(rm.FindRect(50, 400, track, detect, id));

  rm.SetMirror(true);  // the display is flipped: x 3790 is stored x 50
  EXPECT_TRUE(rm.FindRect(3790, 150, track, detect, id));
}

TEST_F(Panorama, FindRectReturnsTheLastAddedOfOverlappingRects) {
  addManual(100, 100, 300, 300);
  int second = addManual(200, 200, 300, 300);
  bool track, detect;
  int id = -1;
  ASSERT_TRUE(rm.FindRect(250, 250, track, detect, id));
  EXPECT_EQ(id, second);
}

TEST_F(Panorama, IdsArePositiveSkipIdsInUseAndWrap) {
  RectIdCounter::shared().setLast(0);
  int first = addManual(100, 100, 100, 100);
  EXPECT_EQ(first, 1);
  RectIdCounter::shared().setLast(INT_MAX - 1);
  EXPECT_EQ(addManual(300, 100, 100, 100), INT_MAX);
  EXPECT_EQ(addManual(500, 100, 100, 100), 2);  // 1 is still held
  EXPECT_GT(rm.NewRectId(), 2);
}

TEST_F(Panorama, RequestsWaitForTheTrackingStepAndGettersDoNotApplyThem) {
  int id = addManual(100, 100, 100, 100);
  rm.TrackAllRects();
  EXPECT_TRUE(rm.GetTrackedManualRects().empty());
  EXPECT_TRUE(rm.GetTrackedDisplayRects().empty());
  EXPECT_TRUE(rm.ValidateTrackedRect());
  EXPECT_EQ(rm.GetTrackedManualRects().size(), 1u);
  EXPECT_FALSE(rm.ValidateTrackedRect());

  rm.ChangeRectTracked(true, id);
  EXPECT_TRUE(rm.ValidateTrackedRect());
  EXPECT_FALSE(rm.HasRectTracked());

  // Requests run in the order they were made: clear, then add keeps the new one only.
  rm.ClearAllRects();
  rm.AddManualRect(box(600, 100, 100, 100));
  rm.ValidateTrackedRect();
  EXPECT_EQ(rm.GetEntries().size(), 1u);
}

// What the layout is told of the newest rectangle, the one it marks as being worked on, after
// each way of putting rectangles in and of ending the editor's selection.
TEST(RectManagerNewest, OnlyARectangleTheUserDrewIsItUntilTheSelectionEnds) {
  struct Step {
    const char* what;
    std::function<void(RectManager&)> act;
    bool isNew;
    bool drawnId;  // the id told is the drawn rectangle's (else -1)
  };
  const auto draw = [](RectManager& m) {
    m.SetTempRect(box(100, 100, 200, 200));
    m.AddManualRect(box(100, 100, 200, 200));
  };
  const auto putBack = [](RectManager& m) { m.AddManualRect(box(900, 100, 200, 200)); };
  const std::vector<std::vector<Step>> cases = {
      {{"a layout's boxes put back", putBack, false, false}},
      {{"put back after a cancelled band",
        [&](RectManager& m) {
          m.SetTempRect(box(1, 1, 50, 50));
          m.SetTempRect(box(0, 0, 0, 0));
          putBack(m);
        },
        false, false}},
      {{"drawn", draw, true, true}, {"read again", [](RectManager&) {}, false, false}},
      {{"drawn", draw, true, true},
       {"selection ends", [](RectManager& m) { m.EndTransformRect(); }, true, false}},
      {{"drawn, then boxes put back",
        [&](RectManager& m) {
          draw(m);
          putBack(m);
        },
        true, true}},
      {{"drawn, then its selection ends at once",
        [&](RectManager& m) {
          draw(m);
          m.EndTransformRect();
        },
        true, false}},
  };
  for (const auto& steps : cases) {
    RectManager m;
    m.SetVideoInfo(3840, 1080, true);
    m.SetMinSideLength(2);
    int drawn = -1;
    for (const Step& step : steps) {
      step.act(m);
      m.ValidateTrackedRect();
      for (const Extended_Rect& e : m.GetEntries())
        if (e.display.x == 100) drawn = e.display.id;
      bool isNew = false;
      int id = -2;
      m.GetLatestManulRectId(isNew, id);
      EXPECT_EQ(isNew, step.isNew) << step.what;
      if (step.isNew) {
        EXPECT_EQ(id, step.drawnId ? drawn : -1) << step.what;
      }
    }
  }
}

TEST_F(Panorama, AllZeroTempRectCancelsDrawing) {
  rect r;
  EXPECT_FALSE(rm.GetTempRect(r));
  rm.SetTempRect(box(10, 10, 50, 50));
  ASSERT_TRUE(rm.GetTempRect(r));
  EXPECT_FLOAT_EQ(r.width, 50);
  rm.SetTempRect(box(0, 0, 0, 0));
  EXPECT_FALSE(rm.GetTempRect(r));
}

TEST_F(Panorama, NoMoreRectanglesThanThePictureDraws) {
  static_assert(OutlineBudget::kOutlines <= RectManager::kMaxRects);
  for (int i = 0; i < OutlineBudget::kOutlines; ++i) {
    ASSERT_TRUE(rm.AddManualRect(box(float(i * 100), 0, 50, 50)));
  }
  EXPECT_FALSE(rm.AddManualRect(box(3500, 500, 50, 50)));  // pending ones count too
  rm.ValidateTrackedRect();
  EXPECT_EQ(rm.GetEntries().size(), size_t(OutlineBudget::kOutlines));
}

TEST_F(Panorama, IgnoreEditingRedirectsEditsAndHoldsOtherRequests) {
  int id = addManual(100, 100, 100, 100);
  rm.StartIgnoreAreaEditing();
  ASSERT_TRUE(rm.AddManualRect(box(1000, 100, 10, 10)));  // becomes an ignore area of side 50
  auto areas = rm.GetIgnoreAreas();
  ASSERT_EQ(areas.size(), 1u);
  EXPECT_FLOAT_EQ(areas[0].width, 50);
  rm.ChangeRectTracked(false, id);
  rm.ValidateTrackedRect();
  EXPECT_FALSE(rm.HasRectTracked());  // waits while editing
  rm.RemoveRect(false, areas[0].id);
  EXPECT_TRUE(rm.GetIgnoreAreas().empty());
  rm.EndIgnoreAreaEditing(true);
  rm.ValidateTrackedRect();
  EXPECT_TRUE(rm.HasRectTracked());
}

TEST_F(Panorama, CommittedIgnoreAreasAreReadByIndexAndId) {
  rm.AddIgnoreManualRect(box(100, 100, 200, 200));
  int x = -7, y = -7, w = -7, h = -7;
  rm.GetIgnoreRect(0, x, y, w, h);
  EXPECT_EQ(x, -7);  // not committed yet
  rm.EndIgnoreAreaEditing(true);
  rm.GetIgnoreRect(0, x, y, w, h);
  EXPECT_EQ(x, 100);
  EXPECT_EQ(w, 200);
  int id = rm.GetIgnoreAreas().at(0).id;
  x = 0;
  rm.GetIgnoreRectById(id, x, y, w, h);
  EXPECT_EQ(x, 100);
  rm.GetIgnoreRect(1, x, y, w, h);  // out of range: unchanged
  EXPECT_EQ(x, 100);
}

TEST_F(Panorama, PersonRecordsFollowTheirRectangles) {
  int a = addManual(100, 100, 100, 100);
  int b = addManual(400, 100, 100, 100);
  selvo::PersonInfo p;
  p.person_id = 5;
  p.name = "Ada";
  rm.SetPersonInfoByRectid(&p, a);
  rm.SetPersonInfoByRectid(&p, b);  // the same person moves: a becomes Unknown
  RectManager::TagPairs tags;
  rm.GetAllTagPairs(tags);
  ASSERT_EQ(tags.size(), 2u);
  EXPECT_EQ(tags[0].second.name, "Unknown");
  EXPECT_EQ(tags[0].second.person_id, -1);
  EXPECT_EQ(tags[1].second.name, "Ada");
}

// Readers and editors on this thread, the processing steps on another; clean under TSan.
TEST_F(Panorama, ListsAreSafeAcrossThreads) {
  std::atomic<bool> stop{false};
  std::thread processing([&] {
    int frame = 0;
    while (!stop.load()) {
      rm.SetDetectedRects({box(float(frame % 3000), 100, 120, 120), box(2000, 400, 100, 100)});
      rm.ValidateTrackedRect();
      auto tracked = rm.GetTrackedDetectRects();
      for (auto& t : tracked) t.x += 1;
      rm.SetTrackedRects(tracked);
      (void)rm.GetUntrackedRects();
      (void)rm.GetIgnoreAreas();
      (void)rm.GetPinnedIds();
      RectManager::TagPairs tags;
      rm.GetAllTagPairs(tags);
      ++frame;
    }
  });
  for (int i = 0; i < 3000; ++i) {
    rm.AddManualRect(box(float(i % 3000), 50, 100, 100));
    bool t, d;
    int id = -1, x, y, w, h;
    if (rm.FindRect(i % 3000 + 10, 100, t, d, id)) {
      rm.GetDisplayRect(id, x, y, w, h);
      if (i % 7 == 0) rm.PinRect(id);
      if (i % 5 == 0) rm.RemoveRect(t, id);
      if (i % 11 == 0 && rm.StartTransformRect(id)) {
        rm.SetTransformingRect(x + 5, y, w, h);
        rm.EndTransformRect();
      }
    }
    if (i % 13 == 0) rm.EnableAutoDetectTracking();
    if (i % 17 == 0) rm.AddIgnoreManualRect(box(3000, 700, 60, 60));
    if (i % 19 == 0) rm.EndIgnoreAreaEditing(true);
    if (i % 97 == 0) rm.ClearAllRects();
    (void)rm.GetManualRect();
    (void)rm.GetDetectRect();
    (void)rm.HasRectTracked();
  }
  stop.store(true);
  processing.join();
  rm.ValidateTrackedRect();
  EXPECT_LE(rm.GetEntries().size(), 200u);
}
