#pragma once

// The main window over the real camera manager, and inside the program's frame: shared by
// the main window's test files.

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
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
#include "widgets/ImageAssets.h"
#include "shell/CustomWindow.h"
#include "util/ImageSequenceAnimation.h"
#include "cloud/KestovaAPIRouter.h"
#include <QCursor>
#include "camera/Display.h"
#include <fstream>
#include <QTest>
#include <QLabel>
#include <QScrollBar>
#include <map>

using corvane::ConnectMode;
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

  // The demo clip, when scripts/setup made it.
  static std::string demoClip() { return std::string(CORVANE_ASSETS_DIR) + "/demo/demo_360.mp4"; }
  // A camera manager on the file source and the real facade and vision library, its frames
  // reaching the renderer.
  void makeDemoManager(corvane::PlayerManager& player) {
    auto env = environment();
    env.player = &player;
    env.makeFacade = corvane::SelvoAnalysisFacade::factory();
    env.publishFrame = [this](const platform::PixelBufferRef& frame) { metal.notifyFrame(frame); };
    env.makeEffectView = [this] { return std::make_shared<corvane::EffectView>(QRect(), metal); };
    manager = std::make_unique<corvane::CameraManager>(env);
    manager->setupEffectView();
  }

  // The file source's frames and the queues, once round.
  void pumpDemo(corvane::PlayerManager& player) {
    player.videoOutputQueue().drain();
    settle();
  }
  // Loads the demo clip; the connection it makes is there when this returns, unless it failed.
  void connectDemo(corvane::PlayerManager& player) {
    player.loadVideo(QString::fromStdString(demoClip()));
    for (int i = 0; i < 20 && manager->connectMode->value() != ConnectMode::connected; ++i)
      pumpDemo(player);
    // The connection popup fades out over the preview: until it is gone it takes the pointer.
    clock.advance(std::chrono::milliseconds(300));
    pumpDemo(player);
  }
  // The demo clip's camera manager and the shown main window, connected to the clip.
  void startDemo(corvane::PlayerManager& player) {
    makeDemoManager(player);
    makeController();
    controller->show();
    connectDemo(player);
  }
  // Runs frames until `done` holds (bounded by wall time, never by sleeping).
  bool demoFramesUntil(corvane::PlayerManager& player, const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      clock.advance(std::chrono::milliseconds(33));
      pumpDemo(player);
      std::this_thread::yield();
    }
    return done();
  }
  // The window's controller and the camera manager go before the file source's frames end.
  void endDemo(corvane::PlayerManager& player) {
    player.pause();
    pumpDemo(player);
    controller.reset();
    manager.reset();
    player.videoOutputQueue().drain();
    platform::MainQueue::shared().drain();
  }

  // The recording facade finds ROI 7 under the preview's x 100..200 and the tracked ROI 8 under
  // 300..400 (view points).
  void placeTwoRois() {
    controller->fillRoiEditorContext();
    const double k = controller->controlViewWidthMultiple;
    facades->last()->findRect = [k](int x, int) {
      if (x >= 100 * k && x <= 200 * k) return Facade::Hit{true, false, false, 7};
      if (x >= 300 * k && x <= 400 * k) return Facade::Hit{true, true, false, 8};
      return Facade::Hit{};
    };
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


// The window inside the program's frame, the way the shell shows it.
class MainWindowActionsTest : public MainControllerTest {
 protected:
  // What the layout popup told the user of a failed save.
  std::vector<QString> saveFailures;

  void SetUp() override {
    MainControllerTest::SetUp();
    // The program's pictures: the cursors and the notification's frames.
    qputenv("CORVANE_RESOURCES_DIR", CORVANE_SHARE_DIR "/corvane-studio");
  }
  void TearDown() override {
    qunsetenv("CORVANE_RESOURCES_DIR");
    if (controller) controller->setParent(nullptr);
    window.reset();
    MainControllerTest::TearDown();
  }

  MainController::Environment actionsEnvironment() {
    auto env = controllerEnvironment();
    env.openURL = [this](const std::string& address) {
      opened.push_back(address);
      return true;
    };
    env.makerURL = makerURL;
    env.saveRoi.thumbnailFolder = [this] { return std::optional(home.path() + "/thumbnail"); };
    env.saveRoi.controlPicture = [this] { return livePicture; };
    env.saveRoi.showFailure = [this](const QString& message) { saveFailures.push_back(message); };
    corvane::AdvertisementViewController::Environment ad;
    ad.currentAd = [this] { return currentAd; };
    ad.fetch = [](const std::string&, std::function<void(std::optional<QByteArray>)> done) {
      done(std::nullopt);
    };
    ad.logger = &rig.logger;
    env.advertisement = ad;
    env.isStreaming = [this] { return streamingNow; };
    return env;
  }

  void makeWindowed(std::optional<MainController::Environment> env = std::nullopt) {
    if (!manager) makeManager();
    controller = std::make_unique<MainController>(env ? std::move(*env) : actionsEnvironment());
    window = std::make_unique<corvane::CustomWindow>(
        [this] { return manager->connectMode->value(); });
    window->setMainContent(controller.get());
    window->resize(1280, 800);
    window->show();
    settle();
  }

  // The largest content whose frame, title bar included, fits the window's screen.
  QSize roomOnScreen() const {
    QSize chrome = window->frameGeometry().size() - window->size();
    return window->screen()->availableGeometry().size() - chrome;
  }

  // The window with the simulated camera connected.
  void makeConnectedWindow() {
    plugCamera();
    makeWindowed();
    connect();
    settle();
  }

  // The window and its controller go, as when the program quits.
  void closeWindow() {
    if (controller) controller->setParent(nullptr);
    window.reset();
    controller.reset();
    settle();
  }

  // The company record as the cloud serves it, fetched through the real client.
  void fetchCompany(const char* body) {
    rig.server.route("GET", "/2/company/no/1",
                     testsupport::LoopbackHttpServer::Reply::json(200, body));
    std::optional<corvane::CompanyModel> fetched;
    rig.manager->apiCall<corvane::CompanyModel>(
        corvane::KestovaAPIRouter::getCompanyInfo(),
        [&](corvane::CompanyModel model) { fetched = std::move(model); });
    ASSERT_TRUE(testsupport::LoopbackHttpServer::pumpUntil([&] {
      platform::MainQueue::shared().drain();
      return fetched.has_value();
    }));
    company = fetched;
  }

  size_t callIndex(const std::string& prefix) const {
    auto calls = facades->last()->calls();
    for (size_t i = 0; i < calls.size(); ++i)
      if (calls[i].rfind(prefix, 0) == 0) return i;
    return calls.size();
  }

  std::unique_ptr<corvane::CustomWindow> window;
  std::vector<std::string> opened;
  std::string makerURL;
  QImage livePicture;
  std::optional<corvane::AdDataModel> currentAd;
  bool streamingNow = false;
};

}  // namespace
