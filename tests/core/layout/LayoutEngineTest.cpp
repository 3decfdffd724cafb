#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "LayoutScenes.h"
#include "OrlithLog.h"
#include "selvo/Framing.h"
#include "selvo/SelvoFactory.h"

using namespace layouttest;
using selvo::LayoutEngine;

// The interface's contract: factories, the shared settings, fetching, the control view's
// decorations and what bad input does.

TEST(LayoutFactories, CreateEnginesThatReadTheSharedSettings) {
  selvo::ISELVO_LAYOUT* layout = nullptr;
  selvo::ISELVO_LAYOUT_SETTING* first = nullptr;
  selvo::ISELVO_LAYOUT_SETTING* second = nullptr;
  ASSERT_EQ(selvo::CreateISelvoLayoutObject(&layout), 0);
  ASSERT_EQ(selvo::CreateISelvoLayoutSettingObject(&first), 0);
  ASSERT_EQ(selvo::CreateISelvoLayoutSettingObject(&second), 0);
  EXPECT_EQ(selvo::CreateISelvoLayoutObject(nullptr), -1);
  const selvo::LayoutTuningValues saved = selvo::LayoutTuning::shared().snapshot();
  first->SetTransitionFrameCount(1);
  second->SetStableROITolerance(0, 0);
  EXPECT_EQ(selvo::LayoutTuning::shared().snapshot().transitionFrames, 1);

  // With one-frame moves and no dead band, an engine made by the factory follows at once.
  layout->Init(true, 3840, 1080, 1280, 720, 1280, 360, 0);
  layout->SetLayoutMode(3);
  rect r = box(1000, 400, 300, 320, 5);
  int64_t now = 0;
  float x = 0;
  for (int i = 0; i < 20; ++i) {
    if (i == 15) r.x += 50;
    layout->SetRects(nullptr, 0, &r, 1);
    layout->SetFrameTime(now += 33'333);
    layout->DoBufferLayout();
    roi_pair p;
    int n = 0;
    ASSERT_TRUE(layout->GetROIPairCount(2, &n));
    if (i < 14) continue;  // joining takes a moment
    ASSERT_EQ(n, 1);
    ASSERT_TRUE(layout->GetROIPairs(2, 1, &p));
    if (i == 14) x = p.src.x;
    if (i == 15) {
      EXPECT_FLOAT_EQ(p.src.x, x + 50);
    }
  }
  selvo::LayoutTuning::shared().edit([&](selvo::LayoutTuningValues& v) { v = saved; });
  selvo::ReleaseISelvoLayoutObject(layout);
  selvo::ReleaseISelvoLayoutSettingObject(first);
  selvo::ReleaseISelvoLayoutSettingObject(second);
}

TEST(LayoutEngine, FetchingChecksTypesAndCounts) {
  Harness h;
  seatMeeting(h, 3);
  h.run(30);
  int n = -11;
  EXPECT_FALSE(h.engine.GetROIPairCount(0, &n));
  EXPECT_FALSE(h.engine.GetROIPairCount(4, &n));
  EXPECT_FALSE(h.engine.GetROIPairCount(1, nullptr));
  ASSERT_TRUE(h.engine.GetROIPairCount(2, &n));
  std::vector<roi_pair> pairs(n + 1);
  EXPECT_FALSE(h.engine.GetROIPairs(2, n + 1, pairs.data()));  // more than there are
  EXPECT_FALSE(h.engine.GetROIPairs(2, n, nullptr));
  EXPECT_TRUE(h.engine.GetROIPairs(2, n, pairs.data()));
  EXPECT_FALSE(h.engine.GetSubwindowROIPairCount(2, &n));
}

TEST(LayoutEngine, BadSizesAndRectanglesAreRefusedWithoutACrash) {
  std::vector<std::string> lines;
  orlith::OrlithLog::setSink(
      [&](orlith::OrlithLog::Level, const std::string& line) { lines.push_back(line); });
  selvo::LayoutTuning tuning;
  LayoutEngine engine(tuning);
  engine.DoBufferLayout();  // before Init
  engine.Init(true, 0, 1080, 1280, 720, 1280, 360, 0);
  engine.DoBufferLayout();
  int n = -1;
  ASSERT_TRUE(engine.GetROIPairCount(1, &n));
  EXPECT_EQ(n, 0);
  engine.Init(true, 3840, 1080, 1280, 720, 1280, 360, 0);
  const float nan = std::nanf("");
  const rect bad[] = {box(nan, 0, 10, 10, 1), box(0, 0, -5, 10, 2), box(0, 0, 1e30f, 1e30f, 3)};
  engine.SetRects(bad, 3, nullptr, -4);
  engine.SetIgnoreAreas(nullptr, 5);
  engine.SetPinnedIds(3, nullptr);
  engine.SetLayoutMode(42);
  engine.SetFitPolicy(9);
  engine.SetNameTag(1, nullptr, nullptr, nullptr);
  engine.AddVoiceDirection(true, 370);
  for (int i = 0; i < 5; ++i) engine.DoBufferLayout();
  EXPECT_EQ(engine.GetLayoutMode(), 0);
  ASSERT_TRUE(engine.GetROIPairCount(1, &n));
  orlith::OrlithLog::setSink(nullptr);
  EXPECT_FALSE(lines.empty());
}

TEST(LayoutEngine, TheViewMoveIconSitsInTheBannersCorner) {
  // A 1920 x 1080 180-degree camera: the facade divides by 1280 / 1920 and gets 64-pixel icons at
  // x = 1855 in video pixels.
  Harness h(false, 1920, 1080);
  h.engine.SetViewMoveIcon("icon-view-move@2x.png", 64, 64, 6);
  h.engine.SetHeightOffsetFor180Video(380);
  h.run(2);
  float r[4] = {};
  h.engine.GetViewMoveIconRect(r, 4);
  const double k = 1280.0 / 1920.0;
  EXPECT_NEAR(r[0] / k, 1855, 0.01);
  EXPECT_NEAR(r[1] / k, 380 + 320 - 64 - 1, 0.01);
  EXPECT_NEAR(r[2] / k, 64, 0.01);
  EXPECT_NEAR(r[3] / k, 64, 0.01);
  // The offset never pushes the banner out of the picture.
  h.engine.SetHeightOffsetFor180Video(5000);
  h.engine.GetViewMoveIconRect(r, 4);
  EXPECT_NEAR(r[1] / k, 1080 - 64 - 1, 0.01);
}

TEST(LayoutEngine, PresentationReportsWhoIsInTheSmallWindow) {
  Harness h;
  seatMeeting(h, 7);
  const Frame f = h.run(30);
  int id = -1;
  ASSERT_TRUE(h.engine.GetFocusedRectInPIP(0, &id));
  EXPECT_EQ(id, 3);  // the nearest to the board
  ASSERT_EQ(f.main[2].size(), 1u);
  EXPECT_EQ(f.main[2][0].src.id, 3);
  // A pin wins, and a bigger window level gives a bigger window.
  h.pins = {4};
  h.engine.SetPIPSmallWindowSize(3);
  h.engine.SetPIPSmallWindowSize(7);  // ignored
  const Frame pinned = h.run(3);
  ASSERT_TRUE(h.engine.GetFocusedRectInPIP(0, &id));
  EXPECT_EQ(id, 4);
  EXPECT_GT(pinned.main[2][0].dst.width, f.main[2][0].dst.width);
  h.engine.SetLayoutMode(3);
  h.run(1);
  EXPECT_FALSE(h.engine.GetFocusedRectInPIP(0, &id));
}

TEST(LayoutEngine, TheDrawMaskChoosesTheOutlines) {
  Harness h;
  seatMeeting(h, 3);
  h.ignore = {box(3300, 100, 300, 300, 900)};
  h.pins = {2};
  const auto ids = [&](const Frame& f) {
    std::vector<int> out;
    for (const roi_pair& p : f.borders) out.push_back(p.dst.id);
    return out;
  };
  Frame f = h.run(30);
  EXPECT_EQ(ids(f), (std::vector<int>{2, 1, 3, 4, 900}));  // pinned first, ignore areas last
  EXPECT_TRUE(f.borders[0].icon_flags & selvo::ROI_ICON_PIN);
  EXPECT_TRUE(f.borders.back().icon_flags & selvo::ROI_ICON_IGNORE);
  // Ignore-area editing: only the ignore areas.
  h.engine.SetDrawFlags(~0u & ~0x7u & ~(0x7u << 10));
  EXPECT_EQ(ids(h.frame()), (std::vector<int>{900}));
  // Tracked rectangles only, no pins.
  h.engine.SetDrawFlags(~0u & ~1u & ~(1u << 10) & ~(1u << 13));
  f = h.frame();
  EXPECT_EQ(ids(f), (std::vector<int>{1, 3}));
  for (const roi_pair& p : f.borders) EXPECT_FALSE(p.icon_flags & selvo::ROI_ICON_PIN);
  h.engine.SetDrawFlags(~0u);
  h.engine.SetEditWindowIgnoreIconFlags(~1u);
  EXPECT_FALSE(h.frame().borders.back().icon_flags & selvo::ROI_ICON_IGNORE);
  h.engine.EnableSubWindowDrawRect(1, false);
  f = h.frame();
  EXPECT_TRUE(f.borders.empty());
  EXPECT_FALSE(f.tiles.empty());  // the panorama stays
}

TEST(LayoutEngine, TheControlViewHoldsAtMostTwentyPairs) {
  Harness h;
  h.engine.SetLayoutMode(0);
  h.offset = 500;  // two panorama tiles
  for (int i = 0; i < 30; ++i) {
    h.untracked.push_back(box(static_cast<float>(i * 128), 400, 120, 150, 200 + i));
  }
  const Frame f = h.run(20);
  EXPECT_EQ(f.tiles.size(), 2u);
  EXPECT_EQ(f.tiles.size() + f.borders.size(), 20u);
  EXPECT_LE(f.all().size(), 20u);
}

TEST(LayoutEngine, TheRectangleBeingDrawnIsOutlinedButNotShown) {
  Harness h;
  seatMeeting(h, 3);
  h.untracked.push_back(box(3300, 100, 300, 300, -1));
  const Frame f = h.run(30);
  for (const roi_pair& p : f.all()) EXPECT_NE(p.src.x, 3300.f);
  bool outlined = false;
  for (const roi_pair& p : f.borders) outlined = outlined || (p.dst.id == -1 && p.src.x == 3300);
  EXPECT_TRUE(outlined);
}

TEST(LayoutEngine, AnchorsMarkTheNewestAndTheMovingRectangle) {
  Harness h;
  seatMeeting(h, 3);
  h.engine.SetLatestManualRectId(2);
  Frame f = h.run(30);
  for (const roi_pair& p : f.borders) {
    EXPECT_EQ((p.icon_flags & selvo::ROI_ICON_ANCHOR_POINT) != 0, p.dst.id == 2);
  }
  h.engine.SetTransformingRectId(4);
  f = h.frame();
  for (const roi_pair& p : f.borders) {
    EXPECT_EQ((p.icon_flags & selvo::ROI_ICON_ANCHOR_POINT) != 0, p.dst.id == 4);
  }
}

TEST(LayoutEngine, TimeAdvancesOneFrameWhenNobodySetsIt) {
  selvo::LayoutTuning tuning;
  LayoutEngine engine(tuning);
  engine.Init(true, 3840, 1080, 1280, 720, 1280, 360, 0);
  engine.SetLayoutMode(3);
  const rect r = box(1000, 400, 300, 320, 5);
  int n = 0;
  // The first frame is at 0; twelve more of 33.333 ms stay short of the 400 ms join delay.
  for (int i = 0; i < 13; ++i) {
    engine.SetRects(nullptr, 0, &r, 1);
    engine.DoBufferLayout();
    engine.GetROIPairCount(2, &n);
    EXPECT_EQ(n, 0) << i;
  }
  engine.SetRects(nullptr, 0, &r, 1);
  engine.DoBufferLayout();
  engine.GetROIPairCount(2, &n);
  EXPECT_EQ(n, 1);
}

TEST(Framing, CoverTakesTheShortArcAcrossTheSeam) {
  using selvo::Framing;
  using selvo::Span;
  const Span s = Framing::cover({{3700, 100}, {50, 100}, {200, 50}}, 3840, true);
  EXPECT_DOUBLE_EQ(s.start, 3700);
  EXPECT_DOUBLE_EQ(s.length, 140 + 250);
  const Span line = Framing::cover({{300, 100}, {50, 100}}, 1920, false);
  EXPECT_DOUBLE_EQ(line.start, 50);
  EXPECT_DOUBLE_EQ(line.length, 350);
  const Span all = Framing::cover({{0, 2000}, {1900, 2000}}, 3840, true);
  EXPECT_DOUBLE_EQ(all.length, 3840);
}

TEST(Framing, AShotKeepsHeadRoomAndStaysInTheFrame) {
  using selvo::Framing;
  selvo::FramingLimits l;
  l.width = 1920;
  l.height = 1080;
  const selvo::CropPose p = Framing::frame(box(1700, 20, 200, 240, 1), 16.0 / 9.0, l);
  const double w = p.h * 16 / 9;
  EXPECT_GE(p.cy - p.h / 2, 0);
  EXPECT_LE(p.cx + w / 2, 1920 + 1e-9);
  EXPECT_LE(p.cx - w / 2, 1700);
  EXPECT_LE(p.cy - p.h / 2, 20);
  EXPECT_GE(p.cy + p.h / 2, 260);
}

TEST(LayoutEngine, BodyFitIsOutlinedAsAFocusFrameTheOutputTakesItsTypeFrom) {
  Harness h;
  seatMeeting(h, 1);
  h.engine.SetFitPolicy(3);
  h.tracked = {box(1000, 380, 320, 320, 1)};
  h.untracked = {box(1500, 400, 320, 320, 2), box(3300, 100, 200, 200, -1)};
  const Frame f = h.run(40);
  ASSERT_EQ(f.main[0].size(), 1u);
  EXPECT_EQ(f.main[0][0].src.id, -1);
  // As the program merges types: the last control pair of the id wins.
  int type = f.main[0][0].subwindow_type;
  std::vector<roi_pair> control = f.tiles;
  control.insert(control.end(), f.borders.begin(), f.borders.end());
  for (const roi_pair& p : control) {
    if (p.src.id == -1) type = p.subwindow_type;
  }
  EXPECT_EQ(type, 11);
  // The frame outlines what the output shows, with the extend margin around both people.
  const roi_pair& frame = *std::find_if(f.borders.begin(), f.borders.end(),
                                        [](const roi_pair& p) { return p.subwindow_type == 11; });
  EXPECT_NEAR(frame.src.x, f.main[0][0].src.x, 0.01);
  EXPECT_LE(frame.src.x, 1000 - 250);
  EXPECT_GE(frame.src.x + frame.src.width, 1820 + 250);
}

TEST(LayoutEngine, TheControlViewFollowsTheInputWithoutAMainLayout) {
  // With an output that is not 16:9 the facade never asks for the main layout.
  selvo::LayoutTuning tuning;
  LayoutEngine engine(tuning);
  engine.Init(true, 3840, 1080, 1280, 800, 1280, 360, 0);
  const rect r = box(600, 300, 300, 300, 8);
  engine.SetRects(&r, 1, nullptr, 0);
  engine.SetSrcToSubwindow(3840, 1080, 1280, 360);
  int n = 0;
  ASSERT_TRUE(engine.GetSubwindowROIPairCount(3, &n));
  ASSERT_EQ(n, 1);
  roi_pair p;
  ASSERT_TRUE(engine.GetSubwindowROIPairs(3, 1, &p));
  EXPECT_EQ(p.dst.id, 8);
  EXPECT_NEAR(p.dst.x, 200, 0.01);
  EXPECT_EQ(p.subwindow_type, 1);
}

TEST(LayoutEngine, TurningThePanoramaCutsInsteadOfPanning) {
  Harness h;
  h.engine.SetLayoutMode(3);
  h.setting.SetTransitionFrameCount(15);
  h.untracked = {box(1000, 400, 300, 320, 7)};
  const float before = h.run(30).main[1][0].src.x;
  h.offset = 900;  // the same person, seen elsewhere in the view
  const Frame f = h.frame();
  EXPECT_FLOAT_EQ(f.main[1][0].src.x, before);  // the same source crop at once
  h.engine.SetMirror(true);
  EXPECT_NEAR(h.frame().main[1][0].src.x, 3840 - before - f.main[1][0].src.width, 0.01);
}

TEST(LayoutEngine, ASplitTileKeepsItsOuterEdges) {
  Harness h;
  h.engine.SetLayoutMode(3);
  h.engine.EnableBeamforming(true);
  h.untracked = {box(3700, 400, 250, 280, 1), box(1500, 400, 250, 280, 2)};
  static const int seam = 180;  // straight behind: column 0, person 1's centre is at 3825
  h.voice_angle = &seam;
  const Frame f = h.run(40);
  std::vector<roi_pair> mine;
  for (const roi_pair& p : f.main[1]) {
    if (p.src.id == 1) mine.push_back(p);
  }
  ASSERT_EQ(mine.size(), 2u);
  using selvo::ROI_EDGE_BOTTOM;
  using selvo::ROI_EDGE_LEFT;
  using selvo::ROI_EDGE_RIGHT;
  using selvo::ROI_EDGE_TOP;
  EXPECT_EQ(mine[0].edge_flags, unsigned(ROI_EDGE_TOP | ROI_EDGE_BOTTOM | ROI_EDGE_LEFT));
  EXPECT_EQ(mine[1].edge_flags, unsigned(ROI_EDGE_TOP | ROI_EDGE_BOTTOM | ROI_EDGE_RIGHT));
  EXPECT_FLOAT_EQ(mine[0].src.x + mine[0].src.width, 3840);
  EXPECT_FLOAT_EQ(mine[1].src.x, 0);
  EXPECT_FLOAT_EQ(mine[0].dst.x + mine[0].dst.width, mine[1].dst.x);
}

TEST(LayoutEngine, AClockSteppingBackDoesNotFreezePeopleInPlace) {
  int warnings = 0;
  orlith::OrlithLog::setSink([&](orlith::OrlithLog::Level, const std::string&) { ++warnings; });
  Harness h;
  h.engine.SetLayoutMode(3);
  h.untracked = {box(500, 400, 300, 320, 1), box(2000, 400, 300, 320, 2)};
  h.run(30);
  h.now -= 60'000'000;  // a minute back
  h.untracked.pop_back();
  const Frame f = h.run(40);  // still leaves after about a second of frames
  orlith::OrlithLog::setSink(nullptr);
  EXPECT_EQ(f.main[1].size(), 1u);
  EXPECT_EQ(warnings, 1);  // said once, not every frame
}

TEST(LayoutEngine, SettingsFromTheMainThreadWhileFramesRun) {
  Harness h;
  seatMeeting(h, 0);
  std::atomic<bool> done{false};
  std::thread main([&] {
    int i = 0;
    while (!done.load()) {
      h.engine.SetLayoutMode((i % 9 == 4) ? 0 : i % 9);
      h.engine.SetMirror(i % 2);
      h.engine.SetDrawFlags(i % 3 ? ~0u : 0u);
      h.setting.SetTransitionFrameCount(i % 20);
      int id = 0;
      h.engine.GetFocusedRectInPIP(0, &id);
      float r[4];
      h.engine.GetViewMoveIconRect(r, 4);
      ++i;
    }
  });
  for (int i = 0; i < 300; ++i) {
    const Frame f = h.frame();
    EXPECT_LE(f.all().size(), 20u);
  }
  done = true;
  main.join();
}
