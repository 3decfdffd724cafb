#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "ISelvoServiceManage.h"
#include "ManualClock.h"
#include "OrlithLog.h"
#include "RecordingSelvoObjects.h"
#include "SelvoRoiPair.h"
#include "dispatch/MainQueue.h"

using namespace orlith;
using platform::MainQueue;
using platform::PixelBuffer;
using platform::PixelBufferRef;
using platform::PixelFormat;
using testsupport::RecordingSelvoFactory;
using namespace std::chrono_literals;

namespace {

selvo::roi_pair pair(int srcId, int dstId, unsigned icons = 0, unsigned edges = 0) {
  selvo::roi_pair p;
  p.src = selvo::rect{10, 20, 300, 200, srcId, -1};
  p.dst = selvo::rect{0, 0, 640, 360, dstId, -1};
  p.scale = 0.5f;
  p.icon_flags = icons;
  p.edge_flags = edges;
  return p;
}

struct Facade : ::testing::Test {
  testsupport::ManualClock clock;
  testsupport::ScopedClock scopedClock{clock};
  std::shared_ptr<RecordingSelvoFactory> factory = std::make_shared<RecordingSelvoFactory>();
  std::shared_ptr<ISelvoServiceManage> facade = std::make_shared<ISelvoServiceManage>();
  int W = 3840, H = 1080;
  int doneCount = 0;
  std::vector<ISelvoServiceManage::RoiPairList> lastArrays;
  int layoutDeliveries = 0;
  std::vector<std::string> logLines;

  void SetUp() override {
    OrlithLog::setSink([this](OrlithLog::Level, const std::string& line) {
      std::lock_guard lock(logMutex);
      logLines.push_back(line);
    });
    facade->initManager(factory);
    facade->addLayoutObservable([this](auto a, auto b, auto c, auto d, auto e) {
      lastArrays = {a, b, c, d, e};
      ++layoutDeliveries;
    });
  }
  void TearDown() override {
    facade.reset();
    MainQueue::shared().drain();
    OrlithLog::setSink(nullptr);
  }
  void setup(int w, int h, int ow = 1280, int oh = 720, bool is360 = true, int pw = 0, int ph = 0,
             int sw = 1280, int sh = 360) {
    W = w;
    H = h;
    facade->setup({double(w), double(h)}, {double(ow), double(oh)}, {double(sw), double(sh)},
                  {double(pw ? pw : w), double(ph ? ph : h)}, is360 ? 1 : 0, "/tmp/face");
  }
  PixelBufferRef frame(int w = 0, int h = 0) {
    return PixelBuffer::create(w ? w : W, h ? h : H, PixelFormat::NV12FullRange);
  }
  // Hands frames in and waits until their `done` has run on the main queue.
  void frames(int n, PixelBufferRef f = nullptr) {
    int target = doneCount + n;
    for (int i = 0; i < n; ++i) {
      facade->imageProcessWithPixelBuffer(f ? f : frame(), [this] { ++doneCount; });
    }
    waitDone(target);
  }
  void waitDone(int target) {
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (doneCount < target && std::chrono::steady_clock::now() < deadline) {
      MainQueue::shared().drain();
      std::this_thread::yield();
    }
    ASSERT_EQ(doneCount, target);
  }
  // Waits for everything queued on the processing queue so far.
  void barrier() { facade->IsRectFocusedInPIPMode(-5); }
  size_t logged(const std::string& text) {
    std::lock_guard lock(logMutex);
    size_t n = 0;
    for (const auto& l : logLines) n += l.find(text) != std::string::npos;
    return n;
  }
  testsupport::CallLog& calls() { return *factory->log; }
  std::mutex logMutex;
};

}  // namespace

// ---- set-up ----

TEST_F(Facade, SetUpFieldsFor180DegreeCamera) {
  setup(1920, 960, 1920, 1080, false, 0, 0, 1280, 541);
  EXPECT_TRUE(facade->m_enable_relayout());
  EXPECT_EQ(facade->m_sub_video_height(), 542);
  EXPECT_EQ(facade->sub_video_buffer_size(), 1280u * 542 * 3 / 2);
  auto f = facade->focusManualRect();
  EXPECT_FLOAT_EQ(f.width, 480);
  EXPECT_FLOAT_EQ(f.height, 270);
  EXPECT_FLOAT_EQ(f.x, 720);
  EXPECT_FLOAT_EQ(f.y, 480 - 135);
  EXPECT_GT(f.id, 0);
  EXPECT_NE(facade->pipManualRect().id, f.id);
  EXPECT_EQ(calls().count("layout.SetViewMoveIcon(icon-view-move@2x.png,64,64,6)"), 1u);
  EXPECT_EQ(calls().count("layout.SetHeightOffsetFor180Video(320)"), 1u);  // (960-320)/2
}

TEST_F(Facade, ViewMoveIconAndRelayoutRules) {
  setup(1920, 960, 1920, 1200, true);
  EXPECT_FALSE(facade->m_enable_relayout());
  auto icon = facade->viewMoveIconRect();
  EXPECT_FLOAT_EQ(icon.width, 64);
  EXPECT_FLOAT_EQ(icon.x, 1855);
  EXPECT_EQ(calls().count("layout.SetViewMoveIcon"), 0u);
  EXPECT_EQ(calls().count("layout.SetHeightOffsetFor180Video"), 0u);
  facade->SetHeightOffsetFor180Video(100);  // 360 degrees: nothing
  barrier();
  EXPECT_EQ(calls().count("layout.SetHeightOffsetFor180Video"), 0u);
}

TEST_F(Facade, SetUpCallsTheLibraryInOrder) {
  setup(3840, 1080, 1280, 720, true, 960, 270);
  std::vector<std::string> expected = {
      "frame.Init(3840,1080,1,0)",
      "detector.SetNativeMode(1)",
      "detector.Init(3840,1080,1,2,0,0.6)",
      "detector.SetFrameManager",
      "detector.EnableReinforcementDetect(1)",
      "detector.SetCallback",
      "correlation.Init(960,270,1,2)",
      "correlation.SetFrameManager",
      "opticalflow.Init(960,270,1,1)",
      "opticalflow.SetFrameManager",
      "recognizer.Init(/tmp/face)",
      "layout.Init(1,3840,1080,1280,720,1280,360,0)",
      "layout.SetDefaultLogoPath(img-thumbnail-default@2x.png)",
      "layout.SetVoiceIndicatorIconPath(icon_misrophone0001.png)",
      "layout.SetPinIconPath(icon-pin@2x.png)",
      "layout.SetAnchorPointSymbolPath(icon_dot.png)",
      "layout.SetIgnoreTagIconPath(icon_ignore_tag.png)",
      "layout.SetNameTagImage(tag_name_style0.png,0)",
      "layout.SetNameTagImage(tag_name_style1.png,1)",
      "layout.SetNameTagImage(tag_name_style2.png,2)",
      "layout.SetFocusModeROIExtendPixel(250)",
  };
  EXPECT_EQ(calls().calls(), expected);
  EXPECT_FLOAT_EQ(facade->m_process_scale(), 4.0f);
  EXPECT_EQ(facade->buffer_size(), 3840u * 1080 * 3 / 2);
  EXPECT_EQ(logged("Running with rosetta 1: 0"), 1u);
}

TEST_F(Facade, TrackerThatFailsInitGetsNoFrameManager) {
  facade.reset();
  factory = std::make_shared<RecordingSelvoFactory>();
  facade = std::make_shared<ISelvoServiceManage>();
  facade->initManager(factory);
  factory->opticalFlow->initResult = false;
  setup(3840, 1080);
  EXPECT_EQ(calls().count("opticalflow.SetFrameManager"), 0u);
  EXPECT_EQ(calls().count("correlation.SetFrameManager"), 1u);
  frames(1);
}

// ---- the frame pipeline ----

TEST_F(Facade, OneFrameInOrder) {
  setup(3840, 1080);
  calls().clear();
  frames(1);
  auto& c = calls();
  long add = c.indexOf("frame.AddFrame(3840,1080,0,0)");
  long begin = c.indexOf("frame.BeginFrame(1)");
  long detect = c.indexOf("detector.AddFrame(1,0)");
  long rects = c.indexOf("layout.SetRects(0,0)");
  long ignore = c.indexOf("layout.SetIgnoreAreas(0)");
  long pins = c.indexOf("layout.SetPinnedIds(8)");
  long offset = c.indexOf("layout.SetContentOffset(0)");
  long transforming = c.indexOf("layout.SetTransformingRectId(-1)");
  long layoutNow = c.indexOf("layout.DoBufferLayout");
  long end = c.indexOf("frame.EndFrame(1)");
  for (long i : {add, begin, detect, rects, ignore, pins, offset, transforming, layoutNow, end}) {
    EXPECT_GE(i, 0);
  }
  EXPECT_LT(add, begin);
  EXPECT_LT(begin, detect);
  EXPECT_LT(detect, rects);
  EXPECT_LT(rects, ignore);
  EXPECT_LT(ignore, pins);
  EXPECT_LT(pins, offset);
  EXPECT_LT(transforming, layoutNow);
  EXPECT_LT(layoutNow, end);
  EXPECT_LT(c.indexOf("layout.SetFrameTime"), layoutNow);
  EXPECT_EQ(layoutDeliveries, 1);
}

TEST_F(Facade, SixteenByNineDeliversTheMainArrays) {
  setup(3840, 1080, 1280, 720);
  factory->layout->pairs[1] = {pair(5, 9), pair(6, 9)};
  factory->layout->pairs[3] = {pair(7, 9)};
  frames(1);
  ASSERT_EQ(lastArrays.size(), 5u);
  EXPECT_EQ(lastArrays[0].size(), 2u);
  EXPECT_TRUE(lastArrays[1].empty());
  EXPECT_EQ(lastArrays[2].size(), 1u);
  EXPECT_TRUE(lastArrays[3].empty());
  EXPECT_TRUE(lastArrays[4].empty());
  EXPECT_EQ(SelvoRoiPair(lastArrays[0][1]).roi_id, 6);
}

TEST_F(Facade, OtherOutputsDeliverFiveEmptyArrays) {
  setup(3840, 1080, 1280, 800);
  factory->layout->pairs[1] = {pair(5, 9)};
  frames(2);
  EXPECT_EQ(layoutDeliveries, 2);
  for (const auto& a : lastArrays) EXPECT_TRUE(a.empty());
  EXPECT_EQ(calls().count("layout.DoBufferLayout"), 0u);
}

TEST_F(Facade, SubWindowArraysWhenSwitchedOn) {
  setup(3840, 1080, 1280, 720);
  factory->layout->subPairs[1] = {pair(1, 2)};
  factory->layout->subPairs[3] = {pair(3, 4), pair(5, 6)};
  factory->layout->subPairs[1][0].subwindow_type = 1;
  facade->enableSmallVideoWindow(1);
  frames(1);
  EXPECT_EQ(lastArrays[3].size(), 1u);
  EXPECT_EQ(lastArrays[4].size(), 2u);
  EXPECT_EQ(SelvoRoiPair(lastArrays[3][0]).type, 1);
  EXPECT_EQ(calls().count("layout.SetSrcToSubwindow(3840,1080,1280,360)"), 1u);
}

TEST_F(Facade, RoiPairConversion) {
  setup(3840, 1080);
  auto withTag = pair(-1, 42, selvo::ROI_ICON_NAMETAG_INSIDE_TRACK | selvo::ROI_ICON_PIN,
                      selvo::ROI_EDGE_TOP | selvo::ROI_EDGE_RIGHT);
  factory->layout->pairs[1] = {withTag};
  frames(1);
  SelvoRoiPair p(lastArrays[0].at(0));
  EXPECT_EQ(p.roi_id, 42);  // the source id is -1: the destination's id
  EXPECT_EQ(p.type, 1);
  EXPECT_EQ(p.edge_config, (std::vector<int64_t>{1, 0, 0, 1}));
  EXPECT_TRUE(p.has_border);
  EXPECT_TRUE(p.has_pin_icon);
  EXPECT_TRUE(p.has_nametag);
  EXPECT_TRUE(p.has_nametag_inside);
  EXPECT_FALSE(p.has_nametag_outside);
  EXPECT_FLOAT_EQ(p.scale, 0.5f);
  EXPECT_EQ(p.src_rect.rect, (DoubleRect{10, 20, 300, 200}));
}

TEST_F(Facade, NameTagsTakeCompanyAndTitleDefaults) {
  setup(3840, 1080);
  facade->AddNewRect(100, 100, 500, 500);
  frames(1);
  bool t, d;
  int id = -1;
  ASSERT_TRUE(facade->FindRect(200, 200, t, d, id));
  factory->layout->pairs[1] = {pair(id, 1)};
  frames(1);
  EXPECT_EQ(calls().count("layout.SetNameTag(" + std::to_string(id) + ",,Company,Title)"), 2u);
  SelvoRoiPair p(lastArrays[0].at(0));
  EXPECT_EQ(p.company, "Company");
  EXPECT_EQ(p.title, "Title");
}

TEST_F(Facade, DetectOnceThenPeriodicRule) {
  setup(3840, 1080);
  int detects = 0, onces = 0;
  std::vector<std::string> order;
  facade->addDetectObservable([&] {
    order.push_back("detect");
    ++detects;
  });
  facade->addDetectOnceObservable([&] {
    order.push_back("once");
    ++onces;
  });
  facade->detectOnce();
  frames(1);
  EXPECT_EQ(order, (std::vector<std::string>{"detect", "once"}));
  frames(1);
  EXPECT_EQ(detects, 1);
  EXPECT_EQ(onces, 1);
  EXPECT_EQ(calls().count("detector.AddFrame(1,1)"), 1u);
  EXPECT_EQ(calls().count("detector.AddFrame(2,0)"), 1u);
  EXPECT_EQ(facade->img_id(), 1);
  // Asked for: the detector looks at the whole picture afresh.
  EXPECT_EQ(calls().count("detector.RequestFullPass()"), 1u);
}

TEST_F(Facade, AutoDetectAtOnceThenByInterval) {
  setup(3840, 1080);
  int detects = 0;
  facade->addDetectObservable([&] { ++detects; });
  facade->enableAutoDetect(1, 1000);
  frames(1);
  EXPECT_EQ(detects, 1);  // forced
  clock.advance(999ms);
  frames(1);
  EXPECT_EQ(detects, 1);
  clock.advance(1ms);
  frames(1);
  EXPECT_EQ(detects, 2);
  frames(1);
  EXPECT_EQ(detects, 2);
  clock.advance(1500ms);
  frames(1);
  EXPECT_EQ(detects, 3);
  // Only the forced detection asks for a full pass; the periodic ones leave it to the detector.
  EXPECT_EQ(calls().count("detector.RequestFullPass()"), 1u);
}

TEST_F(Facade, ResetChangesTheOutputOnlyForANewSize) {
  setup(3840, 1080, 1280, 720);
  facade->reset({1280, 720});
  frames(1);
  EXPECT_FALSE(facade->reinit());
  facade->reset({0, 720});
  frames(1);
  EXPECT_FALSE(facade->reinit());
  EXPECT_EQ(calls().count("layout.Reinit"), 0u);
  facade->reset({1920, 1080});
  frames(2);
  EXPECT_EQ(calls().count("layout.Reinit(1,3840,1080,1920,1080,1280,360,0)"), 1u);
  EXPECT_EQ(facade->m_relayout_width(), 1920);
  EXPECT_EQ(facade->relayout_buffer_size(), 1920u * 1080 * 3 / 2);
}

TEST_F(Facade, VoiceAngleFoldsIntoHalfOpenRange) {
  setup(3840, 1080);
  facade->EnableBeamforming(1);
  struct Case {
    int angle, offset, expected;
  } cases[] = {{370, 0, 10},    {200, 0, -160},   {180, 0, 180},
               {10, -200, 170}, {-170, -20, 170}, {0, -180, 180}};
  for (const auto& c : cases) {
    facade->SetVoiceAngleOffset(c.offset);
    facade->setAngle(c.angle, 1);
    calls().clear();
    frames(1);
    EXPECT_EQ(calls().count("layout.AddVoiceDirection(1," + std::to_string(c.expected) + ")"), 1u)
        << c.angle << " " << c.offset;
  }
  EXPECT_EQ(logged("AddVOADirection receives invalid angle"), 1u);
}

TEST_F(Facade, ResizeIsSilentAtScaleOne) {
  setup(3840, 1080);
  facade->AddNewRect(100, 100, 500, 500);
  facade->TrackAllRects();
  frames(2);
  EXPECT_EQ(logged("[selvo]3 rect"), 0u);
  EXPECT_EQ(logged("[selvo]1 rect"), 0u);
}

TEST_F(Facade, TrackersWorkInProcessPixels) {
  setup(3840, 1080, 1280, 720, true, 960, 270);
  facade->AddNewRect(400, 100, 800, 500);
  facade->TrackAllRects();
  // The lines of every frame are written only with the program's debug switch on.
  orlith::OrlithLog::setFrameDebug(true);
  frames(1);
  orlith::OrlithLog::setFrameDebug(false);
  auto targets = factory->opticalFlow->lastTargets();
  ASSERT_EQ(targets.size(), 1u);
  EXPECT_FLOAT_EQ(targets[0].x, 100);
  EXPECT_FLOAT_EQ(targets[0].width, 100);
  EXPECT_GT(logged("[selvo]3 rect"), 0u);
  // A tracker result comes back in video pixels and moves the rectangle.
  factory->opticalFlow->pushResult({selvo::rect{200, 25, 100, 100, targets[0].id, 1}});
  frames(1);
  int x = 0, y = 0, w = 0, h = 0;
  facade->GetDisplayRect(targets[0].id, x, y, w, h);
  EXPECT_EQ(x, 800);
  EXPECT_EQ(y, 100);
  EXPECT_EQ(calls().count("opticalflow.Track"), 1u);  // tracked from the second frame
}

TEST_F(Facade, EachDetectionResultIsMergedOnce) {
  setup(3840, 1080);
  facade->SetDetectRectDirtyThreshold(2);
  facade->enableAutoDetect(1, 0);
  factory->detector->pushResult({selvo::rect{1000, 300, 200, 200, 0, 0.9f}});
  frames(1);
  std::vector<SelvoRect> found;
  facade->GetDetectRect(found);
  ASSERT_EQ(found.size(), 1u);
  factory->detector->pushResult({});  // one miss: the person stays
  frames(1);
  found.clear();
  facade->GetDetectRect(found);
  EXPECT_EQ(found.size(), 1u);
  factory->detector->pushResult({});  // the second miss removes it
  frames(1);
  found.clear();
  facade->GetDetectRect(found);
  EXPECT_TRUE(found.empty());
}

// Detect replaces every detected box with what it finds in the frame it was asked on. A pass of
// an older frame (the launch detection, say) may finish after the press: it is merged as it
// was, and the replacement waits for the pass of the asked frame, which leaves no box of the
// older picture behind.
TEST_F(Facade, DetectReplacesTheBoxesWithItsOwnFrameResult) {
  setup(3840, 1080);
  const auto places = [&] {
    std::vector<SelvoRect> found;
    facade->GetDetectRect(found);
    std::vector<int> xs;
    for (const auto& r : found) xs.push_back(int(r.rect.x + r.rect.width / 2));
    std::sort(xs.begin(), xs.end());
    return xs;
  };
  facade->detectOnce();  // the launch detection
  frames(1);             // frame 1 goes to the detector; its pass runs on
  EXPECT_TRUE(facade->detectionAskedPending());
  facade->detectOnce();  // the user presses Detect
  factory->detector->pushResult(
      {selvo::rect{300, 300, 200, 200, 0, 0.9f}, selvo::rect{2300, 300, 200, 200, 0, 0.9f}}, 1u);
  frames(1);  // frame 2 goes to the detector; the pass of frame 1 ends
  EXPECT_EQ(places(), (std::vector<int>{400, 2400}));
  EXPECT_TRUE(facade->detectionAskedPending()) << "an older frame's result taken for the asked one";
  factory->detector->pushResult(
      {selvo::rect{900, 300, 200, 200, 0, 0.9f}, selvo::rect{2900, 300, 200, 200, 0, 0.9f}}, 2u);
  frames(1);
  EXPECT_EQ(places(), (std::vector<int>{1000, 3000})) << "boxes of the older frame were kept";
  EXPECT_FALSE(facade->detectionAskedPending());

  // A detector that cannot tell a result's frame: the next result replaces, as it always did.
  facade->detectOnce();
  frames(1);
  factory->detector->pushResult({selvo::rect{1900, 300, 200, 200, 0, 0.9f}});
  frames(1);
  EXPECT_EQ(places(), (std::vector<int>{2000}));
}

TEST_F(Facade, DetectorSettingsReachTheDetector) {
  facade->SetDetectConfThreshold(0.7f);  // before set-up: kept for it
  facade->enableReinforcementDetect(0);
  setup(3840, 1080);
  EXPECT_EQ(calls().count("detector.Init(3840,1080,1,2,0,0.7)"), 1u);
  EXPECT_EQ(calls().count("detector.EnableReinforcementDetect(0)"), 1u);
  facade->SetDetectConfThreshold(0.8f);
  facade->SetDetectModelType(3);
  facade->SetDetectModelType(1);
  facade->enableReinforcementDetect(1);
  barrier();
  EXPECT_EQ(calls().count("detector.SetConfidenceThreshold(0.8)"), 1u);
  EXPECT_EQ(calls().matching("detector.SetModelType"),
            std::vector<std::string>{"detector.SetModelType(1)"});
  EXPECT_EQ(facade->m_detect_model_type(), 1);
  EXPECT_EQ(calls().count("detector.EnableReinforcementDetect(1)"), 1u);
}

TEST_F(Facade, WrongFramesAreRefusedOnceAndStillCompleted) {
  setup(3840, 1080);
  calls().clear();
  frames(3, frame(1920, 1080));
  EXPECT_EQ(logged("frame refused: 1920x1080"), 1u);
  EXPECT_EQ(calls().count("frame.AddFrame"), 0u);
  EXPECT_EQ(calls().count("detector.AddFrame"), 0u);
  EXPECT_EQ(layoutDeliveries, 3);
  auto bgra = PixelBuffer::create(3840, 1080, PixelFormat::BGRA);
  frames(1, bgra);
  EXPECT_EQ(calls().count("frame.AddFrame"), 0u);
  frames(1);
  EXPECT_EQ(calls().count("frame.AddFrame"), 1u);
}

TEST_F(Facade, PaddedRowsAreCopiedRowByRow) {
  setup(64, 32);
  PixelBuffer::Options padded;
  padded.extraRowBytes = 40;
  auto f = PixelBuffer::create(64, 32, PixelFormat::NV12FullRange, padded);
  ASSERT_GT(f->bytesPerRow(0), 64u);
  for (int y = 0; y < 32; ++y) std::memset(f->baseAddress(0) + y * f->bytesPerRow(0), y, 64);
  factory->frame->capture = true;
  frames(1, f);
  auto& plane = factory->frame->captured;
  ASSERT_EQ(plane.size(), 64u * 32);
  for (int y = 0; y < 32; ++y) EXPECT_EQ(plane[size_t(y) * 64 + 63], y);
}

// ---- operations ----

TEST_F(Facade, DisplayModesMapToLayoutModes) {
  setup(3840, 1080);
  facade->setDisplayMode(17);
  facade->setDisplayMode(13);
  facade->setDisplayMode(99);
  barrier();
  EXPECT_EQ(calls().matching("layout.SetLayoutMode"),
            (std::vector<std::string>{"layout.SetLayoutMode(6)", "layout.SetLayoutMode(7)"}));
  EXPECT_EQ(facade->current_mode(), 99);
  facade->setFitMode(10);
  facade->setFitMode(0);
  facade->setFitMode(12);
  barrier();
  EXPECT_EQ(calls().matching("layout.SetFitPolicy"),
            (std::vector<std::string>{"layout.SetFitPolicy(1)", "layout.SetFitPolicy(1)",
                                      "layout.SetFitPolicy(3)"}));
}

TEST_F(Facade, TwoGroupsKeepsItsPins) {
  setup(3840, 1080);
  facade->setDisplayMode(17);
  facade->AddNewRect(100, 100, 500, 500);
  frames(1);
  bool t, d;
  int id = -1;
  ASSERT_TRUE(facade->FindRect(200, 200, t, d, id));
  facade->PinRect(id);
  frames(1);
  EXPECT_FALSE(facade->IsRectPinned(id));  // mode 6 has no pins
  EXPECT_EQ(factory->layout->mode, 6);
  int x = -3, y = -3, w = -3, h = -3;
  facade->GetFocusModeManualRect(x, y, w, h);  // layout mode 6: untouched
  EXPECT_EQ(x, -3);
}

TEST_F(Facade, DrawMasks) {
  setup(3840, 1080);
  calls().clear();
  facade->DrawTrackingRect(false);
  facade->enableDrawRect(false);
  facade->StartIgnoreAreaEditing();
  facade->EndIgnoreAreaEditing(true);
  facade->EnableEditWindowIgnoreIcon(false);
  barrier();
  auto flags = calls().matching("layout.SetDrawFlags");
  ASSERT_EQ(flags.size(), 4u);
  EXPECT_EQ(flags[0], "layout.SetDrawFlags(" + std::to_string(~0u & ~2u) + ")");
  EXPECT_EQ(flags[1], "layout.SetDrawFlags(" + std::to_string(~(0x7u | (0xFu << 10))) + ")");
  EXPECT_EQ(flags[2], "layout.SetDrawFlags(" + std::to_string(~(0x7u | (0x7u << 10))) + ")");
  EXPECT_EQ(flags[3], flags[0]);
  EXPECT_EQ(calls().count("layout.SetEditWindowIgnoreIconFlags(" + std::to_string(~1u) + ")"), 1u);
}

TEST_F(Facade, TrackerTypeAndImageNames) {
  facade->EnableAccumulateDetection(true);
  EXPECT_TRUE(facade->GetAccumulateDetectionStatus());
  facade->SetTrackerType(2);
  EXPECT_TRUE(facade->GetAccumulateDetectionStatus());
  facade->SetTrackerType(7);
  EXPECT_EQ(facade->m_tracker_type(), 1);
  setup(3840, 1080);
  calls().clear();
  facade->replaceDefaultLogoPath("custom.png");
  facade->replaceDefaultLogoPath("");
  facade->replaceSpeakTagPath("speak.png");
  barrier();
  EXPECT_EQ(facade->imagePath(0), "img-thumbnail-default@2x.png");
  EXPECT_EQ(calls().calls(), (std::vector<std::string>{"layout.SetDefaultLogoPath(custom.png)",
                                                       "layout.SetNameTagImage(speak.png,2)"}));
  EXPECT_EQ(logged("replaceDefaultLogoPath 2"), 1u);
}

TEST_F(Facade, RectangleEditingThroughTheFacade) {
  setup(3840, 1080);
  facade->AddNewRect(500, 400, 100, 100);  // corners right-to-left, bottom-to-top
  frames(1);
  std::vector<SelvoRect> manual;
  facade->GetManualRect(manual);
  ASSERT_EQ(manual.size(), 1u);
  EXPECT_EQ(manual[0].rect, (DoubleRect{100, 90, 400, 320}));  // the height grows to 320
  EXPECT_EQ(manual[0].rect_id, 0);
  facade->SetTempRect(10, 10, 60, 60);
  frames(1);
  EXPECT_EQ(factory->layout->untracked.size(), 2u);  // the rectangle being drawn
  facade->SetTempRect(0, 0, 0, 0);
  frames(1);
  EXPECT_EQ(factory->layout->untracked.size(), 1u);
  facade->AddIgnoreNewRect(1000, 100, 1200, 300);
  EXPECT_EQ(facade->GetIgnoredRectCount(), 1);
}

TEST_F(Facade, FocusModeRectangleInDisplayCoordinates) {
  setup(3840, 1080);
  facade->setDisplayMode(11);
  facade->SetFocusModeManualRect(1000, 300, 100, 201);
  int x, y, w, h;
  facade->GetFocusModeManualRect(x, y, w, h);
  EXPECT_EQ(h, 202);
  EXPECT_EQ(y, 299);
  EXPECT_EQ(w, 202);
  EXPECT_EQ(x, 1000 + 50 - 101);
  frames(1);
  EXPECT_EQ(calls().count("layout.SetManualRect(1,949,299,202,202)"), 1u);
}

// ---- unconfigured and released ----

TEST_F(Facade, OperationsOnAnUnconfiguredFacadeDoNothing) {
  auto bare = std::make_shared<ISelvoServiceManage>();
  bool t, d;
  int id = -1, x = 7, y = 7, w = 7, h = 7;
  bare->setMirror(1);
  bare->setContentOffset(100);
  bare->SetMaxGridCount(3);
  bare->setFitMode(11);
  bare->SetMinSrcHeightScale(0.5f);
  bare->SpeakerModeTransitionAlways(true);
  bare->EnableNameTag(true);
  bare->setDisplayMode(12);
  bare->AddNewRect(0, 0, 10, 10);
  bare->PinRect(3);
  bare->StartIgnoreAreaEditing();
  bare->SetHeightOffsetFor180Video(5);
  EXPECT_FALSE(bare->FindRect(1, 1, t, d, id));
  EXPECT_FALSE(bare->IsRectPinned(3));
  EXPECT_FALSE(bare->StartTransformRect(true, 1));
  EXPECT_EQ(bare->GetIgnoredRectCount(), 0);
  bare->GetDisplayRect(1, x, y, w, h);
  EXPECT_EQ(x, 7);
  int done = 0;
  bare->imageProcessWithPixelBuffer(frame(), [&] { ++done; });
  MainQueue::shared().drain();
  EXPECT_EQ(done, 1);
  bare->releaseSelvoInst();

  // The same after set-up and release, with the objects gone.
  setup(3840, 1080);
  facade->releaseSelvoInst();
  facade->setMirror(1);
  facade->SetMaxGridCount(2);
  facade->setFitMode(11);
  facade->SetMinSrcHeightScale(0.5f);
  facade->AddNewRect(0, 0, 10, 10);
  EXPECT_FALSE(facade->FindRect(5, 5, t, d, id));
  barrier();
  EXPECT_EQ(calls().count("layout.SetMirror"), 0u);
  EXPECT_EQ(calls().count("settings.SetMinSrcHeightScale"), 0u);
  frames(1);
  EXPECT_EQ(calls().count("frame.AddFrame"), 0u);
}

TEST_F(Facade, ReleaseWaitsForQueuedFramesAndCompletesEach) {
  setup(3840, 1080);
  int target = doneCount + 6;
  for (int i = 0; i < 6; ++i) {
    facade->imageProcessWithPixelBuffer(frame(), [this] { ++doneCount; });
  }
  facade->releaseSelvoInst();
  facade->imageProcessWithPixelBuffer(frame(), [this] { ++doneCount; });  // refused
  waitDone(target + 1);
  barrier();
  EXPECT_EQ(calls().count("frame.EndFrame"), 6u);
  std::vector<std::string> released = calls().matching("release.");
  EXPECT_EQ(released,
            (std::vector<std::string>{"release.detector", "release.correlation",
                                      "release.opticalflow", "release.recognizer", "release.layout",
                                      "release.settings", "release.frame"}));
  EXPECT_LT(calls().indexOf("recognizer.Stop"), calls().indexOf("release.recognizer"));
  EXPECT_GT(calls().indexOf("release.detector"), calls().indexOf("frame.EndFrame(6)"));
  MainQueue::shared().drain();
  EXPECT_EQ(doneCount, target + 1);
}

TEST_F(Facade, DroppedWhileFramesAreQueued) {
  setup(3840, 1080);
  for (int i = 0; i < 4; ++i) {
    facade->imageProcessWithPixelBuffer(frame(), [this] { ++doneCount; });
  }
  facade->releaseSelvoInst();
  facade.reset();  // the queued work keeps what it needs alive
  waitDone(4);
}

TEST(FacadeShared, OneProcessWideInstance) {
  auto a = ISelvoServiceManage::shared();
  auto b = ISelvoServiceManage::shared();
  EXPECT_EQ(a, b);
  a->releaseSelvoInst();
  auto c = ISelvoServiceManage::shared();
  EXPECT_NE(a, c);
  c->releaseSelvoInst();
  a.reset();
  b.reset();
  c.reset();
  MainQueue::shared().drain();
}

TEST_F(Facade, RecognitionPassThrough) {
  setup(3840, 1080);
  selvo::PersonInfo ada;
  ada.person_id = 4;
  ada.name = "Ada";
  ada.thumbnail_face_id = -1;
  factory->recognizer->persons[4] = ada;
  SelvoPersonInfo change;
  change.title = "Engineer";
  facade->updatePersonInfo(9, change);  // unknown: logged, nothing stored
  EXPECT_EQ(logged("UpdatePersonInfo for person id 9 failed, id not found."), 1u);
  facade->updatePersonInfo(4, change);
  EXPECT_EQ(factory->recognizer->persons[4].title, "Engineer");
  EXPECT_EQ(factory->recognizer->persons[4].name, "Ada");
  std::vector<SelvoPersonInfo> all;
  facade->getAllPersonInfosContent(all);
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].person_id, 4);
  EXPECT_TRUE(facade->getPersonInfoByPersonID(4));
  EXPECT_EQ(facade->GetRecgnizedPersonName(), "Ada");
  EXPECT_EQ(facade->GetFaceImgPathByPersonID(4), "");  // no thumbnail face
  EXPECT_EQ(facade->GetFaceImgPathByPersonID(5), "");
  EXPECT_EQ(logged("GetFaceImgPathByFaceID person_id: 5 invalid"), 1u);
}

TEST_F(Facade, TheLibraryGetsAnAbsoluteResourceFolder) {
  std::string folder = selvo::GetSelvoResourceFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.front(), '/');
  EXPECT_NE(folder.find("share/orlith"), std::string::npos);
}

TEST_F(Facade, PooledFramesOfTheVideoSizeRunThePipelineAndOthersAreRefused) {
  setup(3840, 1080, 1280, 720, true, 960, 270);
  facade->setupQueue();
  auto slot = facade->getEmptyParams();
  ASSERT_TRUE(slot && slot->pixelBuffer);
  EXPECT_EQ(slot->pixelBuffer->width(), 960);  // the slots are of the process size
  facade->startWorkingThread();
  facade->framePool().queueFilledSlot(1);
  auto deadline = std::chrono::steady_clock::now() + 10s;
  while (logged("pooled frame refused") == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  EXPECT_EQ(logged("pooled frame refused"), 1u);
  facade->releaseSelvoInst();  // a barrier behind the queued work
  deadline = std::chrono::steady_clock::now() + 10s;
  while (facade->framePool().slotCount() != 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  EXPECT_EQ(facade->framePool().slotCount(), 0u);
  EXPECT_FALSE(facade->inWorkingThread());
}
