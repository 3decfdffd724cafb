#include <algorithm>
#include <filesystem>
#include <thread>

#include "CameraManagerFixture.h"
#include "camera/SelvoAnalysisFacade.h"
#include "render/EffectView.h"
#include "render/MetalContext.h"
#include "render/MetalManager.h"

using corvane::CameraFormat;
using corvane::ConnectMode;
using corvane::UVCMode;

namespace {

std::vector<std::string> until(const std::vector<std::string>& calls, const std::string& last) {
  auto it = std::find(calls.begin(), calls.end(), last);
  return {calls.begin(), it == calls.end() ? it : it + 1};
}

}  // namespace

TEST_F(CameraManagerTest, FreshRunSetsTheFacadeUpInOrderAndConnectsTwoSecondsLater) {
  plugCamera();
  makeManager();
  manager->startConnection();
  settle();
  // Prepared and streaming, but the state follows two seconds after the result.
  EXPECT_EQ(manager->connectMode->value(), ConnectMode::searching);
  EXPECT_TRUE(manager->isCapturing());
  advance(std::chrono::seconds(2));
  EXPECT_EQ(manager->connectMode->value(), ConnectMode::connected);

  ASSERT_EQ(facades->count(), 1u);
  std::string db = home.path() + "/caches/corvane-studio/face/";
  std::vector<std::string> expected = {
      "initManager",
      "addDetectOnceObservable",
      "addDetectObservable",
      "addLayoutObservable",
      "DrawTrackingRect 1",
      "DrawNormalRect 1",
      "DrawIgnoreRect 1",
      "setup 3840x1080 dst 1280x720 control 1280x360 process 3840x1080 360 " + db,
      "EnableBeamforming 1",
      "enableSmallVideoWindow 1",
  };
  auto calls = facades->last()->calls();
  EXPECT_EQ(until(calls, "enableSmallVideoWindow 1"), expected);
  EXPECT_TRUE(std::filesystem::is_directory(db));
  // The listeners' first application follows the set-up.
  EXPECT_EQ(calls.size() > expected.size() ? calls[expected.size()] : "", "enableAutoDetect 0 0");

  EXPECT_EQ(manager->cameraFormat(), (CameraFormat{3840, 1080, 360, 101, true}));
  EXPECT_TRUE(manager->is360Camera());
  ASSERT_TRUE(manager->deviceFormat());
  EXPECT_EQ(manager->deviceFormat()->width, 3840);
  EXPECT_EQ(manager->projection().type, corvane::ProjectionType::cylinder);
  EXPECT_EQ(manager->projection().max_hfov, 360);
  EXPECT_EQ(v4l2.lastFormat().width, 3840u);
  EXPECT_EQ(v4l2.lastFormat().pixelformat, uint32_t(V4L2_PIX_FMT_MJPEG));
  EXPECT_EQ(manager->currentDeviceName->value(), "Kestova Camera");
  // A 360 camera asks for its voice-direction source: the camera itself here.
  EXPECT_TRUE(manager->uvcQueue().empty());
  EXPECT_TRUE(manager->isSpeakerConnect->value());
  EXPECT_GE(menuUpdates, 2);
}

TEST_F(CameraManagerTest, PictureControlsAreReadAtPreparation) {
  plugCamera();
  makeManager();
  connect();
  EXPECT_TRUE(manager->brightness().enable);
  EXPECT_FLOAT_EQ(manager->brightness().value, 0.5f);
  EXPECT_FLOAT_EQ(manager->brightness().max, 2.0f);
  EXPECT_FLOAT_EQ(manager->contrast().value, 128.0f / 255.0f);
  EXPECT_TRUE(manager->gamma().enable);
  EXPECT_FLOAT_EQ(manager->gamma().min, 100.0f);
  EXPECT_FLOAT_EQ(manager->gamma().max, 300.0f);
  EXPECT_FLOAT_EQ(manager->defPreset().gamma, 200.0f);
  EXPECT_EQ(manager->flicker().value, 1);
  EXPECT_TRUE(manager->nr().enable);
}

struct SizeCase {
  uint16_t width, height;
  double controlHeight;
};

class CameraControlSizeTest : public CameraManagerTest,
                              public ::testing::WithParamInterface<SizeCase> {};

TEST_P(CameraControlSizeTest, ControlHeightKeepsTheAspectAndIsEven) {
  SizeCase c = GetParam();
  usbCamera->addMode(c.width, c.height, {360, 100, 360, 120, 0});
  plugCamera("Kestova Camera", c.width, c.height);
  makeManager();
  // The control size comes from the preparation, whether or not the capture then starts (a
  // picture of odd height cannot: that connection fails).
  manager->startConnection();
  settle();
  advance(std::chrono::seconds(2));
  EXPECT_EQ(manager->connectMode->value(),
            c.height % 2 ? corvane::ConnectMode::disconnected : corvane::ConnectMode::connected);
  EXPECT_EQ(manager->controlVideoWidth(), 1280.0);
  EXPECT_EQ(manager->controlVideoHeight(), c.controlHeight);
}

INSTANTIATE_TEST_SUITE_P(Sizes, CameraControlSizeTest,
                         ::testing::Values(SizeCase{3840, 1920, 640}, SizeCase{3840, 1083, 362},
                                           SizeCase{4992, 1248, 320}));

TEST_F(CameraManagerTest, CameraWithoutAFormatFallsBackTo720pAndFails) {
  usbCamera->setApiLevel(0);  // no capture format can be chosen
  plugCamera();
  makeManager();
  manager->startConnection();
  settle();
  EXPECT_EQ(manager->cameraFormat(), (CameraFormat{1280, 720, 0, 0, false}));
  EXPECT_EQ(manager->controlVideoHeight(), 720.0);
  EXPECT_EQ(manager->connectMode->value(), ConnectMode::disconnected);
  EXPECT_TRUE(facades->last()->callsStartingWith("setup").empty());
  EXPECT_FALSE(manager->isCapturing());
}

// A camera format whose pictures the render pass cannot draw is refused before capture starts,
// in one line: never streamed and failed in the log with every frame.
TEST_F(CameraManagerTest, AFormatOfASizeThatCannotBeDrawnIsRefused) {
  // Errors reach standard error as well as the day file (which these tests do not set up).
  testing::internal::CaptureStderr();
  // The camera offers its panorama widths only; this one at two rows.
  usbCamera->addMode(3840, 2, {360, 100, 360, 120, 0});
  plugCamera("Kestova Camera", 3840, 2);
  makeManager();
  manager->startConnection();
  settle();
  advance(std::chrono::seconds(2));
  EXPECT_EQ(manager->connectMode->value(), ConnectMode::disconnected);
  EXPECT_FALSE(manager->isCapturing());
  for (size_t i = 0; i < facades->count(); ++i)
    EXPECT_TRUE(facades->made[i]->callsStartingWith("setup").empty());
  std::string lines = testing::internal::GetCapturedStderr();
  const std::string refusal =
      "Prepare deviceFormat error: the picture size 3840 x 2 cannot be drawn: its preview would "
      "be 1280 x 0 (2 to 16384 high)";
  EXPECT_NE(lines.find(refusal), std::string::npos) << lines;
  EXPECT_EQ(lines.find(refusal), lines.rfind(refusal));
}

TEST_F(CameraManagerTest, MissingCachesFolderFailsThePreparation) {
  plugCamera();
  auto env = environment();
  env.cachesFolder = [] { return std::optional<std::string>(); };
  manager = std::make_unique<corvane::CameraManager>(env);
  manager->startConnection();
  settle();
  advance(std::chrono::seconds(2));
  // Not shown as connected with a facade that was never set up.
  EXPECT_EQ(manager->connectMode->value(), ConnectMode::disconnected);
  for (size_t i = 0; i < facades->count(); ++i)
    EXPECT_TRUE(facades->made[i]->callsStartingWith("setup").empty());
}

TEST_F(CameraManagerTest, StateListenersAreBoundOnceAndReappliedAfterEachSetUp) {
  plugCamera();
  makeManager();
  connect();
  manager->stopConnection();
  settle();
  ASSERT_EQ(manager->connectMode->value(), ConnectMode::disconnected);
  connect();
  auto facade = facades->last();
  // The second set-up applied the switches again.
  EXPECT_EQ(facade->callsStartingWith("setup").size(), 1u);
  EXPECT_FALSE(facade->callsStartingWith("enableAutoDetect").empty());
  facade->clearCalls();
  manager->drawNormalRect->setValue(false);
  settle();
  EXPECT_EQ(facade->calls(), std::vector<std::string>{"DrawNormalRect 0"});
}

TEST_F(CameraManagerTest, StopReplacesTheFacadeWithAFreshUnconfiguredOne) {
  plugCamera();
  makeManager();
  connect();
  auto first = facades->last();
  manager->stopConnection();
  settle();
  EXPECT_EQ(first->calls().back(), "releaseSelvoInst");
  ASSERT_EQ(facades->count(), 2u);
  auto fresh = facades->last();
  EXPECT_EQ(fresh->calls().front(), "initManager");
  EXPECT_TRUE(fresh->callsStartingWith("setup").empty());
  EXPECT_EQ(fresh->callsStartingWith("addDetectObservable").size(), 1u);
  EXPECT_FALSE(manager->isCapturing());
  EXPECT_EQ(v4l2.openCount(), 0);
  EXPECT_EQ(manager->connectMode->value(), ConnectMode::disconnected);
}

TEST_F(CameraManagerTest, StopWhileAFrameIsInTheFacadeReleasesAfterCaptureStopped) {
  plugCamera();
  makeManager();
  connect();
  v4l2.pushFrame(testsupport::mjpegFrame(2, 3840, 1080));
  auto facade = facades->last();
  ASSERT_TRUE(facade->waitForFrames(1));
  ASSERT_EQ(facade->heldFrames(), 1u);
  manager->stopConnection();
  // More frames from the driver while stopping never reach the released facade.
  v4l2.pushFrame(testsupport::mjpegFrame(3, 3840, 1080));
  settle();
  EXPECT_EQ(facade->heldFrames(), 0u);
  auto calls = facade->calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "frame after release"), 0);
  EXPECT_EQ(calls.back(), "releaseSelvoInst");
  EXPECT_EQ(manager->connectMode->value(), ConnectMode::disconnected);
}

TEST_F(CameraManagerTest, CameraAtApiLevelSixAndHalfFieldOfViewStopsVoiceDirection) {
  usbCamera->setApiLevel(6);
  usbCamera->addMode(3840, 1080, {180, 101, 180, 120, 0});
  plugCamera();
  makeManager();
  manager->isSpeakerConnect->setValue(true);
  connect();
  EXPECT_FALSE(manager->is360Camera());
  EXPECT_TRUE(manager->uvcQueue().empty());
  EXPECT_FALSE(manager->isSpeakerConnect->value());
}

TEST_F(CameraManagerTest, LayoutResultsBecomeTwoRoiListsForEveryRegistrant) {
  makeManager();
  auto facade = manager->manager();
  std::vector<std::pair<size_t, size_t>> first, other;
  std::vector<int64_t> ids;
  manager->setRoiDicEntry("MainController", [&](const auto& main, const auto& sub) {
    first.push_back({main.size(), sub.size()});
    for (const auto& p : main) ids.push_back(p->roi_id);
    // A change made here is seen by the next holder: the pairs are shared.
    for (const auto& p : main) p->type = 2;
  });
  manager->setRoiDicEntry("MainController", [&](const auto&, const auto&) { FAIL(); });
  std::vector<int64_t> typesSeen;
  manager->setRoiDicEntry("Navigator", [&](const auto& main, const auto& sub) {
    other.push_back({main.size(), sub.size()});
    for (const auto& p : main) typesSeen.push_back(p->type);
  });
  auto pair = [](int64_t id) {
    orlith::SelvoRoiPair p;
    p.roi_id = id;
    return p.dictionary();
  };
  facades->last()->fireLayout({pair(1), pair(2)}, {}, {pair(3)}, {pair(4)}, {pair(5)});
  facades->last()->fireLayout({pair(6)}, {}, {}, {}, {});
  EXPECT_EQ(first, (std::vector<std::pair<size_t, size_t>>{{3, 2}, {1, 0}}));
  EXPECT_EQ(other, first);
  EXPECT_EQ(ids, (std::vector<int64_t>{1, 2, 3, 6}));
  EXPECT_EQ(typesSeen, (std::vector<int64_t>{2, 2, 2, 2}));
  (void)facade;
}

TEST_F(CameraManagerTest, FirstCompletedFrameAsksForOneDetectionWhenBothSwitchesAreOn) {
  settings.newDetectLayout = true;
  plugCamera();
  makeManager();
  connect();
  EXPECT_TRUE(manager->firstFrame());
  deliverFrame(1);
  settle();
  EXPECT_FALSE(manager->firstFrame());
  EXPECT_EQ(facades->last()->callsStartingWith("detectOnce").size(), 1u);
  deliverFrame(2);
  settle();
  EXPECT_EQ(facades->last()->callsStartingWith("detectOnce").size(), 1u);
}

TEST_F(CameraManagerTest, StopWhileAFrameIsInTheRealFacade) {
  plugCamera();
  auto env = environment();
  env.makeFacade = corvane::SelvoAnalysisFacade::factory();
  manager = std::make_unique<corvane::CameraManager>(env);
  int completed = 0;
  manager->framePath().setFrameCompletedHandler([&] { ++completed; });
  manager->startConnection();
  settle();
  advance(std::chrono::seconds(2));
  ASSERT_EQ(manager->connectMode->value(), ConnectMode::connected);
  for (int photo = 1; photo <= 3; ++photo)
    v4l2.pushFrame(testsupport::mjpegFrame(photo, 3840, 1080));
  // Wait (bounded) until the capture has taken the first frame.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (manager->framePath().frameSN() < 1 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  ASSERT_GE(manager->framePath().frameSN(), 1);
  // Stop while frames are being decoded and analysed: the capture stops first, the facade's
  // release waits for the frame it holds, and the frame's completion still arrives.
  manager->stopConnection();
  settle();
  EXPECT_EQ(manager->connectMode->value(), ConnectMode::disconnected);
  EXPECT_FALSE(manager->isCapturing());
  manager.reset();
  platform::MainQueue::shared().drain();
  EXPECT_LE(completed, 3);
}

TEST_F(CameraManagerTest, EffectViewIsMadeOnceForTheLifeOfTheManager) {
  corvane::MetalManager metal;
  corvane::MetalContext context(1);
  plugCamera();
  int made = 0;
  auto env = environment();
  env.makeEffectView = [&] {
    ++made;
    return std::make_shared<corvane::EffectView>(QRect(), metal, context);
  };
  manager = std::make_unique<corvane::CameraManager>(env);
  connect();
  manager->stopConnection();
  settle();
  connect();
  EXPECT_EQ(made, 1);
  EXPECT_TRUE(manager->effectView());
  EXPECT_EQ(metal.sbuDic().count("EffectView"), 1u);
  manager.reset();  // before the renderer it subscribed to
}
