#include <QApplication>
#include <QString>
#include <QStyle>
#include <algorithm>
#include <filesystem>
#include <thread>

#include "../camera/CameraManagerFixture.h"
#include "CloudTestRig.h"
#include "FakeDeviceEventSource.h"
#include "camera/PlayerManager.h"
#include "camera/SelvoAnalysisFacade.h"
#include "config/ConfigManager.h"
#include "controlboard/ControlBoardViewModel.h"
#include "main/BasePositionView.h"
#include "controlboard/ControlBoardController.h"
#include "controlboard/SmallControlBoardController.h"
#include "main/MainController.h"
#include "main/VirtualCameraSink.h"
#include "qt/DeviceMonitor.h"
#include "render/BorderView.h"
#include "render/EffectView.h"
#include "render/LayoutView.h"
#include "render/MetalManager.h"
#include "vcam/LoopbackOutput.h"
#include "widgets/CustomButton.h"
#include "widgets/CustomView.h"

using corvane::ConnectMode;
using corvane::Display;
using corvane::MainController;
using namespace std::chrono_literals;

namespace {

constexpr const char* kSinkLabel = corvane::VirtualCameraSink::kCardLabel;

// The main window over the real camera manager (fake driver and sysfs, simulated camera), the
// cloud played by the loopback server, a recording logger, a device monitor fed by the test and
// the virtual camera's loopback device on the fake driver.
class MainControllerTest : public CameraManagerTest {
 protected:
  void SetUp() override {
    CameraManagerTest::SetUp();
    settings.retryTime = 0;
    auto source = std::make_unique<testsupport::FakeDeviceEventSource>();
    events = source.get();
    monitor = std::make_unique<platform::DeviceMonitor>(std::move(source));
  }
  void TearDown() override {
    controller.reset();
    platform::MainQueue::shared().drain();
    CameraManagerTest::TearDown();
  }

  MainController::Environment controllerEnvironment() {
    MainController::Environment env;
    env.camera = manager.get();
    env.viewModel = &model;
    env.config = &config;
    env.metal = &metal;
    env.logger = &rig.logger;
    env.defaults = defaults.get();
    env.deviceMonitor = monitor.get();
    env.update.api = rig.manager.get();
    env.update.defaults = defaults.get();
    env.update.logger = &rig.logger;
    env.update.camera = [] { return corvane::UpdateController::Camera{"3.1.4", "1", "2", "C"}; };
    env.update.companyModel = [] { return std::optional<corvane::CompanyModel>(); };
    env.update.isStaging = [] { return false; };
    env.update.vendor = [] { return std::string("42"); };
    env.update.appVersion = "1.5.0";
    env.companyModel = [this] { return company; };
    env.startSinkStream = [this] {
      ++sinkAttempts;
      return virtualCamera.connectCameraExtension();
    };
    env.isSinkConnected = [this] { return virtualCamera.isConnected(); };
    env.activateCameraExtension = [this] { ++activations; };
    env.sendPixelBuffer = [this](const platform::PixelBufferRef& frame) {
      handOffs.push_back("link");
      linkFrames.push_back(frame);
    };
    env.enqueueFrame = [this](const platform::PixelBufferRef& frame) {
      handOffs.push_back("sink");
      sinkFrames.push_back(frame);
      virtualCamera.enqueueFrame(frame);
    };
    env.assignMenuEvents = [this](const auto& events) {
      for (const auto& [name, body] : events) menuEvents.push_back(name);
    };
    return env;
  }

  void makeController() {
    if (!manager) makeManager();
    controller = std::make_unique<MainController>(controllerEnvironment());
    controller->resize(1280, 800);
  }

  void addLoopback() {
    sys.addVirtualNode("video11", kSinkLabel);
    v4l2.addNode(sys.devicePath("video11"),
                 testsupport::FakeV4l2Device::loopbackNode(kSinkLabel, 11, 0));
  }

  // The debug lines of the start-up functions, in order.
  std::vector<std::string> startupLines() const {
    static const char* names[] = {"viewDidLoad()", "viewDidAppear()", "initlayout()",
                                  "setupControlBoard()", "setupBasePositionView()"};
    std::vector<std::string> seen;
    for (const auto& line : rig.logLines)
      for (const char* name : names)
        if (line.find(std::string(", ") + name + ": ") != std::string::npos &&
            line.find("[Debug]") != std::string::npos)
          seen.push_back(name);
    return seen;
  }

  // Delivers what the device monitor has read.
  void deliverDeviceEvents() {
    monitor->readPending();
    settle();
  }

  corvane::CloudTestRig rig;
  corvane::ConfigManager config{corvane::ConfigManager::Environment{}};
  corvane::ControlBoardViewModel model;
  corvane::MetalManager metal;
  testsupport::FakeDeviceEventSource* events = nullptr;
  std::unique_ptr<platform::DeviceMonitor> monitor;
  platform::LoopbackOutput sink{v4l2, sys.sysRoot(), sys.devRoot()};
  corvane::VirtualCameraSink virtualCamera{sink, {}};
  std::optional<corvane::CompanyModel> company;
  int sinkAttempts = 0;
  int activations = 0;
  std::vector<std::string> menuEvents;
  std::vector<std::string> handOffs;
  std::vector<platform::PixelBufferRef> linkFrames, sinkFrames;
  std::unique_ptr<MainController> controller;
};

// A pair as the facade delivers it.
orlith::SelvoDictionary pairDictionary(int64_t id, int64_t type, double x) {
  orlith::SelvoRoiPair p;
  p.roi_id = id;
  p.type = type;
  p.has_border = true;
  p.src_rect.rect = {x, 0, 400, 300};
  p.dst_rect.rect = {x / 3, 0, 100, 80};
  p.dst_rect.rect_id = id;
  return p.dictionary();
}

}  // namespace

TEST_F(MainControllerTest, StartUpOrderAndASecondShowRepeatsNothing) {
  makeController();
  EXPECT_EQ(startupLines(),
            (std::vector<std::string>{"viewDidLoad()", "initlayout()", "setupControlBoard()"}));
  // The twelve menu events get their closures, in the window's order.
  EXPECT_EQ(menuEvents, (std::vector<std::string>{
                            "menuLanguageEvent", "menuUpdateEvent", "menuAutoDetectEvent",
                            "menuDetectOnceEvent", "menuAutoTrackEvent", "menuCleanAllEvent",
                            "menuWebsiteEvent", "menuTrackAllEvent", "menuUntrackAllEvent",
                            "menuPreferencesiEvent", "menuLoadRoiEvent", "menuSaveRoiEvent"}));
  EXPECT_EQ(defaults->doubleValue("NSInitialToolTipDelay"), 0.8);
  EXPECT_EQ(QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 800);

  controller->show();
  settle();
  EXPECT_EQ(startupLines(),
            (std::vector<std::string>{"viewDidLoad()", "initlayout()", "setupControlBoard()",
                                      "viewDidAppear()", "setupBasePositionView()",
                                      "setupControlBoard()"}));
  EXPECT_FALSE(controller->firstAppear);
  ASSERT_TRUE(
      testsupport::LoopbackHttpServer::pumpUntil([&] { return rig.server.requestCount() == 1; }));
  EXPECT_NE(rig.server.requests()[0].path.find("version"), std::string::npos);
  EXPECT_EQ(activations, 1);

  // Hidden and shown again: only the views are routed again.
  controller->hide();
  controller->show();
  settle();
  for (int i = 0; i < 20; ++i) testsupport::LoopbackHttpServer::pumpUntil([] { return true; });
  EXPECT_EQ(rig.server.requestCount(), 1u);
  EXPECT_EQ(activations, 1);
  EXPECT_EQ(controller->deviceObserverCount(), 1);
  auto lines = startupLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "viewDidAppear()"), 2);
  // No second notification check (it ends with the control-board set-up).
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "setupControlBoard()"), 2);
}

TEST_F(MainControllerTest, ListenersThatFireNowRunOnceAtRegistration) {
  makeManager();
  auto facade = manager->manager();
  settle();
  facades->last()->clearCalls();
  manager->displayMode->setValue(Display::focus);
  settle();
  facades->last()->clearCalls();
  makeController();
  // The ROI-record listener ran once: one read-back of each kind.
  EXPECT_EQ(facades->last()->callsStartingWith("GetFocusManualRect").size(), 1u);
  EXPECT_EQ(facades->last()->callsStartingWith("GetTransformingRect").size(), 1u);
  EXPECT_EQ(facades->last()->callsStartingWith("GetViewMoveIconRect").size(), 1u);
  // Connection state searching: the connection popup shows.
  EXPECT_FALSE(controller->popupView->isHidden());
  // The listeners that wait for a change have not run.
  settle();
  EXPECT_EQ(facades->last()->callsStartingWith("GetTransformingRect").size(), 1u);
  // A loaded record runs it again.
  manager->loadRecord->setValue(true);
  settle();
  EXPECT_EQ(facades->last()->callsStartingWith("GetTransformingRect").size(), 2u);
}

TEST_F(MainControllerTest, SinkFoundAtStartUpAsksForNoActivation) {
  addLoopback();
  makeController();
  controller->show();
  settle();
  EXPECT_TRUE(sink.isConnected());
  EXPECT_EQ(activations, 0);
  EXPECT_EQ(controller->deviceObserverCount(), 0);
  EXPECT_TRUE(rig.logged("found sink stream"));
}

TEST_F(MainControllerTest, SinkMissingWatchesDevicesAndConnectsWhenItArrives) {
  makeController();
  controller->show();
  settle();
  EXPECT_FALSE(sink.isConnected());
  EXPECT_EQ(activations, 1);
  EXPECT_EQ(controller->deviceObserverCount(), 1);
  int attempts = sinkAttempts;

  // Another video device: tried, still nothing.
  events->push({"add", "video4linux", "/dev/video5", ""});
  deliverDeviceEvents();
  EXPECT_EQ(sinkAttempts, attempts + 1);
  EXPECT_FALSE(sink.isConnected());
  // The loopback device appears once the extension made it.
  addLoopback();
  events->plugVideo("video11");
  deliverDeviceEvents();
  EXPECT_TRUE(sink.isConnected());
  // Connected: later arrivals leave it alone, and the observer was installed once.
  int connectedAttempts = sinkAttempts;
  events->plugVideo("video12");
  deliverDeviceEvents();
  EXPECT_EQ(sinkAttempts, connectedAttempts);
  EXPECT_EQ(activations, 1);
  EXPECT_EQ(controller->deviceObserverCount(), 1);
  // The device goes away under the sink: the next arrival connects it again.
  v4l2.unplug();
  virtualCamera.enqueueFrame(platform::PixelBuffer::create(1280, 720, platform::PixelFormat::BGRA));
  sink.drain();
  EXPECT_FALSE(sink.isConnected());
  v4l2.replug();
  events->plugVideo("video11");
  deliverDeviceEvents();
  EXPECT_TRUE(sink.isConnected());
}

TEST_F(MainControllerTest, ACameraArrivingAfterTheSearchGaveUpIsConnected) {
  makeController();
  controller->show();
  manager->startConnection();
  settle();
  ASSERT_EQ(manager->connectMode->value(), ConnectMode::disconnected);
  EXPECT_FALSE(controller->popupView->isHidden());
  plugCamera();
  events->plugVideo("video0");
  deliverDeviceEvents();
  advance(2s);
  EXPECT_EQ(manager->connectMode->value(), ConnectMode::connected);
  // Connected: the popup goes, and the preview takes the camera's shape.
  EXPECT_TRUE(controller->popupView->isHidden());
  EXPECT_NEAR(controller->controlViewAspectConstraint, 3840.0 / 1080.0, 1e-9);
  QRect preview = controller->controlView->geometry();
  EXPECT_NEAR(double(preview.width()) / preview.height(), 3840.0 / 1080.0, 0.05);
  EXPECT_NEAR(controller->controlViewWidthMultiple, 3840.0 / preview.width(), 1e-9);
  EXPECT_EQ(controller->controlViewHeightMultiple, controller->controlViewWidthMultiple);
}

TEST_F(MainControllerTest, RolesOfTheViewsWithTheSplitWindowOnAndOff) {
  corvane::LayoutView* boardView = nullptr;
  makeManager();
  auto env = controllerEnvironment();
  auto boardPreview = std::make_unique<corvane::LayoutView>(nullptr, metal);
  env.controlBoardMetalView = [&] { return boardView; };
  controller = std::make_unique<MainController>(env);
  controller->resize(1280, 800);
  controller->show();
  settle();
  using corvane::LayoutMode;
  // No board preview yet: the panel's view composes the output, hidden or not.
  EXPECT_TRUE(controller->navigatorView->isHidden());
  EXPECT_EQ(controller->metalView.data(), controller->navigatorMetalView.data());
  EXPECT_EQ(controller->metalView->mode, LayoutMode::navigator);
  EXPECT_TRUE(controller->metalView->activate_filter);
  EXPECT_EQ(controller->controlMetalView->mode, LayoutMode::control);
  EXPECT_FALSE(controller->controlMetalView->activate_filter);
  EXPECT_EQ(metal.navigatorSize(), QSizeF(1280, 720));

  boardView = boardPreview.get();
  controller->setupMetalViews();
  EXPECT_EQ(controller->metalView.data(), boardView);
  EXPECT_EQ(boardView->mode, LayoutMode::navigator);

  model.splitWindow->setValue(true);
  settle();
  EXPECT_TRUE(config.defaultLargeNavigator);
  EXPECT_FALSE(controller->navigatorView->isHidden());
  EXPECT_EQ(controller->metalView.data(), controller->navigatorMetalView.data());
  // The navigator box keeps 16:9 below its title strip, inside its panel.
  QRect box = controller->navigatorContentView->geometry();
  QRect picture = controller->navigatorMetalView->geometry();
  EXPECT_NEAR(double(picture.width()) / picture.height(), 16.0 / 9.0, 0.02);
  EXPECT_EQ(picture.top(), 30);
  EXPECT_LE(box.width(), controller->navigatorView->width());
  // The preview is pinned above it.
  EXPECT_LT(controller->controlView->geometry().bottom(), controller->navigatorView->y());

  model.splitWindow->setValue(false);
  settle();
  EXPECT_TRUE(controller->navigatorView->isHidden());
  EXPECT_EQ(controller->metalView.data(), boardView);
}

TEST_F(MainControllerTest, BasePositionAnchoringFollowsTheNotification) {
  company = corvane::CompanyModel{};
  company->data.notification = corvane::NotificationModel{};
  company->data.notification->_id = "n-1";
  makeController();
  controller->show();
  settle();
  // An unseen notification: shown, and with the split window off the button sits in the content.
  EXPECT_FALSE(controller->notifyView->isHidden());
  EXPECT_EQ(controller->basePositionAnchor, corvane::BasePositionAnchor::content);
  model.splitWindow->setValue(true);
  settle();
  // With the split window on, the board's set-up puts it beside the notification ...
  controller->setupControlBoard();
  EXPECT_EQ(controller->basePositionAnchor, corvane::BasePositionAnchor::notify);
  EXPECT_EQ(controller->basePositionView->y(), controller->notifyView->y());
  EXPECT_GT(controller->basePositionView->x(), controller->notifyView->geometry().right());
  // ... until the navigator's own rule sees room enough below the preview.
  settle();
  double band = controller->contentView->height() - controller->controlView->geometry().bottom();
  EXPECT_GE(band, 80);
  EXPECT_EQ(controller->basePositionAnchor, corvane::BasePositionAnchor::content);

  // Seen before: the notification stays hidden and the button goes back to the content.
  defaults->set("NotificationId", "n-1");
  controller->checkNotification();
  settle();
  EXPECT_TRUE(controller->notifyView->isHidden());
  EXPECT_EQ(controller->basePositionAnchor, corvane::BasePositionAnchor::content);
}

TEST_F(MainControllerTest, FocusRectangleAndBannerReadBacks) {
  makeManager();
  manager->manager();
  auto recording = facades->last();
  recording->focusManualRect = {100, 20, 200, 300};
  config.manualFocusRect = {corvane::RectPoint()};
  manager->displayMode->setValue(Display::focus);
  model.mirror->setValue(true);
  settle();
  makeController();
  // Mirrored on the 1920-pixel default format.
  EXPECT_EQ(controller->focusOriRect, QRectF(1920 - 100 - 200, 20, 200, 300));
  EXPECT_TRUE(rig.logged("focusOriRect: {{1620, 20}, {200, 300}}"));
  // Stored normalised in the settings, clockwise from the top-left.
  EXPECT_NEAR(config.manualFocusRect[0].x1, 100.0 / 1920, 1e-12);
  EXPECT_NEAR(config.manualFocusRect[0].y3, 320.0 / 1080, 1e-12);
  // None reported: the rectangle stays.
  recording->focusManualRect = {-1, 20, 200, 300};
  controller->updateFocusRect();
  EXPECT_EQ(controller->focusOriRect, QRectF(1620, 20, 200, 300));

  // A 180-degree camera takes its banner from the move icon.
  recording->viewMoveIconRect = {10, 400, 32, 40};
  controller->updateBannerIconArea();
  EXPECT_EQ(controller->bannerIconArea, QRectF(10, 400, 32, 40));
  EXPECT_EQ(controller->bannerPositionY, 440 - 1920 / 6.0);
}

TEST_F(MainControllerTest, A360DegreeCameraLeavesTheBannerAlone) {
  makeManager();
  plugCamera();
  connect();
  ASSERT_TRUE(manager->is360Camera());
  makeController();
  auto recording = facades->last();
  recording->viewMoveIconRect = {10, 400, 32, 40};
  recording->clearCalls();
  controller->updateBannerIconArea();
  EXPECT_FALSE(controller->bannerIconArea);
  EXPECT_EQ(controller->bannerPositionY, 0);
  EXPECT_TRUE(recording->callsStartingWith("GetViewMoveIconRect").empty());

  // The camera's projection, field-of-view mode and api level reach both composing views.
  manager->verticalFov->setValue(corvane::VerticalFovMode::down);
  settle();
  controller->setupMetalViews();
  for (corvane::LayoutView* view :
       {controller->metalView.data(), controller->controlMetalView.data()}) {
    const auto& camera = view->environment().camera;
    EXPECT_EQ(camera.api_version, 4);
    EXPECT_TRUE(camera.is360Camera);
    EXPECT_EQ(camera.verticalFov, corvane::VerticalFovMode::down);
    EXPECT_EQ(camera.projection.max_vfov, manager->projection().max_vfov);
    EXPECT_EQ(camera.projection.hfov, manager->projection().hfov);
  }
}

TEST_F(MainControllerTest, ClickingTheBasePositionButtonEntersFovEditing) {
  makeController();
  controller->show();
  settle();
  manager->verticalFov->setValue(corvane::VerticalFovMode::down);
  settle();
  controller->basePositionView->button->click();
  settle();
  EXPECT_EQ(model.editMode->value(), corvane::EditMode::fov);
  EXPECT_EQ(controller->currentCameraFov, corvane::VerticalFovMode::down);
}

// The demo clip through the file source, the real facade and vision library: the preview shows
// the panorama and the navigator view (the control board's, the split window being off) the
// composed output.
TEST_F(MainControllerTest, DemoClipReachesThePreviewAndTheNavigator) {
  std::string clip = std::string(CORVANE_ASSETS_DIR) + "/demo/demo_360.mp4";
  if (!std::filesystem::exists(clip)) GTEST_SKIP() << "no demo clip: run scripts/setup";
  addLoopback();  // the virtual camera's device, so the sink road ends on the fake driver
  corvane::PlayerManager player(clock);
  auto env = environment();
  env.player = &player;
  env.makeFacade = corvane::SelvoAnalysisFacade::factory();
  env.publishFrame = [this](const platform::PixelBufferRef& frame) { metal.notifyFrame(frame); };
  env.makeEffectView = [this] { return std::make_shared<corvane::EffectView>(QRect(), metal); };
  manager = std::make_unique<corvane::CameraManager>(env);
  manager->setupEffectView();
  makeController();
  controller->show();
  auto pump = [&] {
    player.videoOutputQueue().drain();
    settle();
  };
  player.loadVideo(QString::fromStdString(clip));
  for (int i = 0; i < 20 && manager->connectMode->value() != ConnectMode::connected; ++i) pump();
  ASSERT_EQ(manager->connectMode->value(), ConnectMode::connected);
  EXPECT_TRUE(controller->popupView->isHidden());
  player.play();
  auto deadline = std::chrono::steady_clock::now() + 60s;
  auto done = [&] {
    return controller->controlMetalView->composedPixelBuffer() && controller->metalView &&
           controller->metalView->composedPixelBuffer();
  };
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    clock.advance(33ms);
    pump();
    std::this_thread::yield();
  }
  player.pause();
  ASSERT_TRUE(done());
  EXPECT_FALSE(controller->controlMetalView->roiPairList.empty());
  EXPECT_EQ(controller->metalView.data(), controller->controlBoardController()->metalView);
  EXPECT_FALSE(controller->metalView->roiPairList.empty());
  auto output = metal.vxdPixelBuffer();
  ASSERT_TRUE(output);
  EXPECT_EQ(output->width(), 1280);
  EXPECT_EQ(output->height(), 720);
  // Both roads got the composed output, the link first; the loopback device took frames.
  ASSERT_GE(handOffs.size(), 2u);
  for (size_t i = 0; i < handOffs.size(); ++i) EXPECT_EQ(handOffs[i], i % 2 ? "sink" : "link");
  EXPECT_EQ(linkFrames.back(), sinkFrames.back());
  // The fake loopback device holds whole YUYV frames: the black first one, then composed ones.
  sink.drain();
  auto written = v4l2.writtenBytes();
  constexpr size_t kYuyvFrame = 1280 * 720 * 2;
  ASSERT_GE(written.size(), 2 * kYuyvFrame);
  EXPECT_EQ(written.size() % kYuyvFrame, 0u);
  size_t bright = 0;
  for (size_t i = written.size() - kYuyvFrame; i < written.size(); i += 2) bright += written[i] > 40;
  EXPECT_GT(bright, kYuyvFrame / 2 / 10);  // the picture, not the black frame
  // The overlay holds the borders of the control list the preview composed.
  EXPECT_FALSE(controller->controlBorderView->borders().empty());
  // The preview is the panorama at preview width: 1280 wide, the clip's shape.
  auto preview = controller->controlMetalView->composedPixelBuffer();
  EXPECT_EQ(preview->width(), 1280);
  EXPECT_NEAR(double(preview->width()) / preview->height(),
              double(manager->cameraFormat().width) / manager->cameraFormat().height, 0.02);
  pump();
  controller.reset();
  manager.reset();
  player.videoOutputQueue().drain();
  platform::MainQueue::shared().drain();
}

// The boards live in the window's column: the full board scrolls there and composes the
// navigator picture while the split window is off; a connection lays both boards out with the
// configured default mode, and the microphone array decides whether audio fit is offered.
TEST_F(MainControllerTest, BothBoardsAreMountedAndFollowTheConnection) {
  config.displayModesPerRow = 4;
  config.gridComposeMode = config.gridMode = config.focusMode = config.audioFitMode = true;
  config.defaultDisplayMode = 2;  // grid
  plugCamera();
  makeController();
  controller->show();
  settle();
  corvane::ControlBoardController* board = controller->controlBoardController();
  corvane::SmallControlBoardController* small = controller->smallControlBoardController();
  EXPECT_EQ(controller->scrollView->widget(), board);
  EXPECT_EQ(small->parentWidget(), controller->smallControlBoardView.data());
  EXPECT_TRUE(controller->smallControlBoardView->isHidden());
  EXPECT_EQ(controller->metalView.data(), board->metalView);

  connect();
  settle();
  EXPECT_EQ(manager->displayMode->value(), corvane::Display::grid);
  auto selected = [](const std::vector<corvane::CustomButton*>& buttons) {
    std::vector<int> tags;
    for (auto* b : buttons)
      if (b->isSelected) tags.push_back(b->tag);
    return tags;
  };
  EXPECT_EQ(selected(board->displayModeButtons()), std::vector<int>{12});
  EXPECT_EQ(selected(small->displayModeButtons()), std::vector<int>{12});

  // A press on the board reaches the camera manager and the analysis framework.
  for (auto* b : board->displayModeButtons())
    if (b->tag == 11) b->click();
  settle();
  EXPECT_EQ(manager->displayMode->value(), corvane::Display::focus);
  EXPECT_FALSE(facades->last()->callsStartingWith("setDisplayMode 11").empty());

  auto offersAudioFit = [](const std::vector<int>& codes) {
    return std::find(codes.begin(), codes.end(), 91) != codes.end();
  };
  manager->isSpeakerConnect->setValue(false);
  settle();
  EXPECT_FALSE(offersAudioFit(board->displayModeArray()));
  EXPECT_FALSE(offersAudioFit(small->displayModeArray()));
  manager->isSpeakerConnect->setValue(true);
  settle();
  EXPECT_TRUE(offersAudioFit(board->displayModeArray()));
  EXPECT_TRUE(offersAudioFit(small->displayModeArray()));
}

TEST_F(MainControllerTest, TheRoadFromALayoutToTheViewsTheOverlayAndTheVirtualCamera) {
  addLoopback();
  makeManager();
  auto facade = manager->manager();
  makeController();
  controller->show();
  settle();
  ASSERT_TRUE(sink.isConnected());
  corvane::CameraManager::RoiPairs lastOutput, lastControl;
  manager->setRoiDicEntry("Test", [&](const auto& output, const auto& control) {
    lastOutput = output;
    lastControl = control;
  });

  // No composed output yet: the views and the overlay are updated, the virtual camera gets
  // nothing.
  facades->last()->fireLayout({pairDictionary(1, 0, 0), pairDictionary(2, 0, 900)}, {}, {},
                              {pairDictionary(2, 1, 900), pairDictionary(3, 2, 3600)}, {});
  settle();
  EXPECT_TRUE(handOffs.empty());
  ASSERT_EQ(controller->metalView->roiPairList.size(), 2u);
  ASSERT_EQ(controller->controlMetalView->roiPairList.size(), 2u);
  EXPECT_EQ(controller->controlMetalView->roiPairList[1].roi_id, 3);
  // The output pair took its control pair's type, seen through the camera side's list too.
  EXPECT_EQ(controller->metalView->roiPairList[1].type, 1);
  EXPECT_EQ(lastOutput[1]->type, 1);
  EXPECT_EQ(controller->controlBorderView->borders(),
            MainController::makeBorders(lastControl, controller->controlBorderView->width(), true));
  // The speaker's box crosses the panorama's seam: drawn at both ends.
  ASSERT_EQ(controller->controlBorderView->borders().size(), 3u);
  EXPECT_EQ(controller->controlBorderView->borders()[0].mode, corvane::BorderMode::tracking);
  EXPECT_EQ(controller->controlBorderView->borders()[2].mode, corvane::BorderMode::speak);

  // A composed output exists: an empty delivery clears the lists and borders and sends the
  // previous output again, link first, then the loopback device.
  auto previous = platform::PixelBuffer::create(1280, 720, platform::PixelFormat::BGRA);
  metal.setVxdPixelBuffer(previous);
  facades->last()->fireLayout({}, {}, {}, {}, {});
  settle();
  EXPECT_TRUE(controller->metalView->roiPairList.empty());
  EXPECT_TRUE(controller->controlBorderView->borders().empty());
  EXPECT_EQ(handOffs, (std::vector<std::string>{"link", "sink"}));
  EXPECT_EQ(linkFrames.back(), previous);
  EXPECT_EQ(sinkFrames.back(), previous);
  EXPECT_EQ(metal.vxdPixelBuffer(), previous);
  sink.drain();
  EXPECT_EQ(sink.framesWritten(), 2u);  // the black frame of the start, then the composed one

  // A delivery after the window is gone does nothing.
  controller.reset();
  facades->last()->fireLayout({pairDictionary(1, 0, 0)}, {}, {}, {pairDictionary(1, 0, 0)}, {});
  settle();
  EXPECT_EQ(handOffs.size(), 2u);
  (void)facade;
}

TEST_F(MainControllerTest, ThePreviewGetsEveryPressThroughTheOverlay) {
  makeController();
  controller->show();
  settle();
  ASSERT_TRUE(controller->controlBorderView->testAttribute(Qt::WA_TransparentForMouseEvents));
  QPoint centre = controller->controlView->geometry().center();
  // Under the overlay (the popup hidden, as when connected) the press lands on the picture.
  controller->popupView->hide();
  QWidget* hit = controller->contentView->childAt(centre);
  EXPECT_EQ(hit, controller->controlMetalView.data());
}

TEST_F(MainControllerTest, TheLanguageAndSettingsPopupsLiveInTheirHostsAtTheirOwnSize) {
  auto env = controllerEnvironment();
  std::map<std::string, std::function<void()>> menuSlots;
  env.assignMenuEvents = [&menuSlots](const auto& events) {
    for (const auto& [name, body] : events) menuSlots[name] = body;
  };
  env.makeLanguageViewController = [](QWidget* host) {
    auto* popup = new QWidget(host);
    popup->resize(360, 190);
    return popup;
  };
  env.makeSettingViewController = [](QWidget* host) {
    auto* popup = new QWidget(host);
    popup->resize(560, 420);
    return popup;
  };
  if (!manager) makeManager();
  controller = std::make_unique<MainController>(env);
  controller->resize(1280, 800);
  controller->show();
  ASSERT_TRUE(controller->languageViewController && controller->settingViewController);
  EXPECT_EQ(controller->languageViewController->parentWidget(), controller->languageView);
  EXPECT_EQ(controller->settingViewController->parentWidget(), controller->settingView);
  EXPECT_EQ(controller->languageView->size(), QSize(360, 190));
  EXPECT_EQ(controller->settingView->size(), QSize(560, 420));
  EXPECT_FALSE(controller->languageView->isVisible());
  ASSERT_TRUE(menuSlots.count("menuLanguageEvent") && menuSlots.count("menuPreferencesiEvent"));
  menuSlots["menuLanguageEvent"]();
  EXPECT_TRUE(controller->languageView->isVisible());
  const QPoint centre = controller->languageView->geometry().center();
  QWidget* top = controller->languageView->parentWidget()->childAt(centre);
  while (top && top->parentWidget() != controller->languageView->parentWidget())
    top = top->parentWidget();
  EXPECT_EQ(top, controller->languageView) << "above the connection view";
  menuSlots["menuPreferencesiEvent"]();
  EXPECT_TRUE(controller->settingView->isVisible());
  controller->closeAllPopups();
  EXPECT_FALSE(controller->languageView->isVisible());
  EXPECT_FALSE(controller->settingView->isVisible());
}
