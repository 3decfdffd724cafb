#include "MainControllerFixture.h"

namespace {

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
  manager->displayMode->setValue(corvane::Display::focus);
  settle();
  facades->last()->clearCalls();
  makeController();
  // The ROI-record listener ran once: one read-back of each kind.
  EXPECT_EQ(facades->last()->callsStartingWith("GetFocusManualRect").size(), 1u);
  EXPECT_EQ(facades->last()->callsStartingWith("GetTransformingRect").size(), 1u);
  // The banner is read by the record listener, and again as the edit-mode listener lays the
  // navigator out.
  EXPECT_EQ(facades->last()->callsStartingWith("GetViewMoveIconRect").size(), 2u);
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
  // Connected: the popup fades out and goes, and the preview takes the camera's shape.
  EXPECT_FALSE(controller->popupView->isHidden());
  advance(300ms);
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
  manager->displayMode->setValue(corvane::Display::focus);
  model.mirror->setValue(true);
  settle();
  makeController();
  // Mirrored on the 1920-pixel default format.
  EXPECT_EQ(controller->roiEditor.focusOriRect, (corvane::RoiEditor::Rect{1920 - 100 - 200, 20, 200, 300}));
  EXPECT_TRUE(rig.logged("focusOriRect: {{1620, 20}, {200, 300}}"));
  // Stored normalised in the settings, clockwise from the top-left.
  EXPECT_NEAR(config.manualFocusRect[0].x1, 100.0 / 1920, 1e-12);
  EXPECT_NEAR(config.manualFocusRect[0].y3, 320.0 / 1080, 1e-12);
  // None reported: the rectangle stays.
  recording->focusManualRect = {-1, 20, 200, 300};
  controller->updateFocusRect();
  EXPECT_EQ(controller->roiEditor.focusOriRect, (corvane::RoiEditor::Rect{1620, 20, 200, 300}));

  // A 180-degree camera takes its banner from the move icon.
  recording->viewMoveIconRect = {10, 400, 32, 40};
  controller->updateBannerIconArea();
  EXPECT_EQ(controller->roiEditor.bannerIconArea, (corvane::RoiEditor::Rect{10, 400, 32, 40}));
  EXPECT_EQ(controller->roiEditor.bannerPositionY, 440 - 1920 / 6.0);
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
  EXPECT_FALSE(controller->roiEditor.bannerIconArea);
  EXPECT_EQ(controller->roiEditor.bannerPositionY, 0);
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
  std::string clip = demoClip();
  if (!std::filesystem::exists(clip)) GTEST_SKIP() << "no demo clip: run scripts/setup";
  addLoopback();  // the virtual camera's device, so the sink road ends on the fake driver
  corvane::PlayerManager player(clock);
  startDemo(player);
  ASSERT_EQ(manager->connectMode->value(), ConnectMode::connected);
  clock.advance(300ms);
  pumpDemo(player);
  EXPECT_TRUE(controller->popupView->isHidden());
  player.play();
  auto done = [&] {
    return controller->controlMetalView->composedPixelBuffer() && controller->metalView &&
           controller->metalView->composedPixelBuffer();
  };
  demoFramesUntil(player, done);
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
  // The preview is the panorama at the width it is shown, at most the preview width of 1280,
  // the clip's shape.
  auto preview = controller->controlMetalView->composedPixelBuffer();
  const QWidget* shown = controller->controlMetalView;
  EXPECT_EQ(preview->width(), shown->isVisible()
                                  ? std::min(1280, int(shown->width() * shown->devicePixelRatioF()))
                                  : 1280);
  EXPECT_NEAR(double(preview->width()) / preview->height(),
              double(manager->cameraFormat().width) / manager->cameraFormat().height, 0.02);
  endDemo(player);
}

// Focus and presentation on a file source (no fields of view to project through): the output
// shows the picture from the first composition in the mode, not black.
TEST_F(MainControllerTest, FocusAndPresentationShowTheClipFromTheirFirstComposition) {
  std::string clip = demoClip();
  if (!std::filesystem::exists(clip)) GTEST_SKIP() << "no demo clip: run scripts/setup";
  config.enablePerspectiveProjection = true;  // as the shipped configuration has it
  config.focusMode = config.presentationMode = true;
  corvane::PlayerManager player(clock);
  startDemo(player);
  ASSERT_EQ(manager->connectMode->value(), ConnectMode::connected);
  player.play();
  auto output = [&] { return controller->metalView ? controller->metalView->composedPixelBuffer()
                                                   : platform::PixelBufferRef(); };
  ASSERT_TRUE(demoFramesUntil(player, [&] { return bool(output()); }));
  // The share of the picture that is not black.
  auto lit = [](const platform::PixelBufferRef& bgra) {
    size_t n = 0, total = 0;
    for (int y = 0; y < bgra->height(); y += 4)
      for (int x = 0; x < bgra->width(); x += 4, ++total)
        n += bgra->baseAddress(0)[y * bgra->bytesPerRow(0) + 4 * x + 1] > 40;
    return double(n) / double(std::max<size_t>(total, 1));
  };
  for (auto [mode, type] : {std::pair{corvane::Display::focus, 11},
                            std::pair{corvane::Display::presentation, 12}}) {
    SCOPED_TRACE(int(type));
    manager->displayMode->setValue(mode);
    const int wanted = type;  // Clang 14 captures no structured binding
    auto inMode = [&] {
      const auto& pairs = controller->metalView->roiPairList;
      return std::any_of(pairs.begin(), pairs.end(),
                         [&](const corvane::LayoutRoiPair& p) { return p.type == wanted; });
    };
    ASSERT_TRUE(demoFramesUntil(player, inMode));
    auto first = output();
    ASSERT_TRUE(first);
    EXPECT_GT(lit(first), 0.3) << "the mode's first composition is black";
    // The rectangle shown on the preview is the one composed.
    EXPECT_GT(controller->roiEditor.focusOriRect.width, 0);
    EXPECT_GT(controller->roiEditor.focusOriRect.height, 0);
  }
  endDemo(player);
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

// ---- mouse editing on the preview and its context menu ----

namespace {

// A press, moves and a release as the window system delivers them: to the picture under the
// pointer, from where they reach the content view. Points are in the preview's coordinates.
void sendMouse(QWidget* target, QEvent::Type type, QPointF at, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
  QPointF global = target->mapToGlobal(at);
  QMouseEvent event(type, at, at, global, button, buttons, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

struct Mouse {
  QWidget* preview;
  void press(QPointF p, Qt::MouseButton b = Qt::LeftButton) {
    sendMouse(preview, QEvent::MouseButtonPress, p, b, b);
  }
  void drag(QPointF p) {
    sendMouse(preview, QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton);
  }
  void hover(QPointF p) { sendMouse(preview, QEvent::MouseMove, p, Qt::NoButton, Qt::NoButton); }
  void release(QPointF p) {
    sendMouse(preview, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
  }
  void stroke(QPointF from, QPointF to) {
    press(from);
    drag((from + to) / 2);
    drag(to);
    release(to);
  }
};

}  // namespace

// The demo clip through the file source and the real facade: gestures on the preview become
// the facade's rectangles with the next frames.
TEST_F(MainControllerTest, GesturesOnThePreviewEditTheFacadesRectangles) {
  std::string clip = demoClip();
  if (!std::filesystem::exists(clip)) GTEST_SKIP() << "no demo clip: run scripts/setup";
  config.minRectSideLength = 60;
  corvane::PlayerManager player(clock);
  startDemo(player);
  ASSERT_EQ(manager->connectMode->value(), ConnectMode::connected);
  auto facade = manager->manager();
  ASSERT_TRUE(facade);
  facade->SetMinRectSideLength(60);
  player.play();
  auto frames = [&](const std::function<bool()>& done) { return demoFramesUntil(player, done); };
  ASSERT_TRUE(frames([&] { return bool(controller->controlMetalView->composedPixelBuffer()); }));
  controller->fillRoiEditorContext();
  const double k = controller->controlViewWidthMultiple;
  ASSERT_GT(k, 0);
  Mouse mouse{controller->controlMetalView};
  auto manual = [&] { return facade->GetManualRect(); };

  // Drawing: the ROI is there after the next frame.
  mouse.stroke({100, 40}, {220, 140});
  ASSERT_TRUE(frames([&] { return manual().size() == 1; }));
  orlith::DoubleRect drawn = manual()[0].rect;
  EXPECT_NEAR(drawn.x, 100 * k, 2);
  EXPECT_NEAR(drawn.width, 120 * k, 2);

  // First press selects it and already moves it; the move shows after a frame.
  mouse.stroke({160, 90}, {200, 90});
  EXPECT_EQ(controller->controlBorderView->selectedRectId(), controller->roiEditor.selectRectIdx);
  ASSERT_TRUE(frames([&] { return manual().size() == 1 && manual()[0].rect.x > drawn.x + 20; }));
  orlith::DoubleRect moved = manual()[0].rect;
  EXPECT_NEAR(moved.x - drawn.x, 40 * k, 2);
  EXPECT_EQ(moved.width, drawn.width);

  // Its right edge resizes it.
  double right = (moved.x + moved.width) / k;
  mouse.stroke({right, 90}, {right + 30, 90});
  ASSERT_TRUE(frames([&] { return manual()[0].rect.width > moved.width + 20; }));
  EXPECT_NEAR(manual()[0].rect.width - moved.width, 30 * k, 2);
  EXPECT_EQ(manual()[0].rect.x, moved.x);

  // A drawing taken out of the preview sideways goes on along its edge, following the
  // pointer's height, and ends where it is let go; one taken out at the bottom ends where it
  // left, as a release would (the file source is not a 360-degree camera).
  controller->menuCleanAll();
  ASSERT_TRUE(frames([&] { return manual().empty(); }));
  const double w = controller->controlView->width(), h = controller->controlView->height();
  ASSERT_GT(h, 100);
  mouse.press({w - 120.0, 20});
  mouse.drag({w - 60.0, 40});
  mouse.drag({w + 30, 50});
  EXPECT_TRUE(controller->roiEditor.startLocation) << "the drawing goes on beside the preview";
  mouse.drag({w + 60, h - 10});
  mouse.release({w + 60, h - 10});
  EXPECT_FALSE(controller->roiEditor.startLocation);
  ASSERT_TRUE(frames([&] { return manual().size() == 1; }));
  const orlith::DoubleRect beside = manual()[0].rect;
  EXPECT_NEAR(beside.y, 20 * k, 2);
  EXPECT_NEAR(beside.y + beside.height, (h - 10) * k, 3) << "down to the pointer's height";
  EXPECT_NEAR(beside.x + beside.width, w * k, 3) << "out to the edge";
  controller->menuCleanAll();
  ASSERT_TRUE(frames([&] { return manual().empty(); }));
  mouse.press({w - 120.0, 20});
  mouse.drag({w - 60.0, h - 40});
  mouse.drag({w - 60.0, h + 30});
  EXPECT_FALSE(controller->roiEditor.startLocation);
  mouse.release({w - 60.0, h + 30});
  ASSERT_TRUE(frames([&] { return manual().size() == 1; }));

  // The menu's protected area: the ROI becomes an ignore area around it and is gone.
  QMenu* shown = nullptr;
  std::vector<std::string> items;
  controller->popUpContextMenu = [&](QMenu& menu, QPoint) {
    shown = &menu;
    for (QAction* a : menu.actions()) items.push_back(a->objectName().toStdString());
    for (QAction* a : menu.actions())
      if (a->objectName() == "rect_menu_protect_name") a->trigger();
  };
  orlith::DoubleRect roi = manual()[0].rect;
  mouse.press({(roi.x + roi.width / 2) / k, (roi.y + roi.height / 2) / k}, Qt::RightButton);
  ASSERT_TRUE(shown);
  EXPECT_EQ(items, (std::vector<std::string>{"rect_menu_tracking_name", "rect_menu_pin_name",
                                             "rect_menu_delete_name", "rect_menu_protect_name"}));
  ASSERT_TRUE(frames([&] { return manual().empty(); }));
  ASSERT_EQ(facade->GetIgnoredRectCount(), 1);
  auto area = facade->GetIgnoreRect(0);
  // Grown by 5 % a side (then fitted into the picture by the facade).
  EXPECT_NEAR(area.width, roi.width * 1.1, 3);
  EXPECT_LE(area.x, roi.x);
  EXPECT_GE(area.x + area.width, roi.x + roi.width - 1);

  endDemo(player);
}

TEST_F(MainControllerTest, ContextMenuSelectionStatesAndActions) {
  makeManager();
  plugCamera();
  connect();
  makeController();
  controller->show();
  settle();
  auto recording = facades->last();
  placeTwoRois();
  std::vector<std::string> items;
  std::vector<bool> enabled, checked;
  controller->popUpContextMenu = [&](QMenu& menu, QPoint) {
    EXPECT_EQ(menu.title(), "Contextual menu");
    items.clear();
    enabled.clear();
    checked.clear();
    for (QAction* a : menu.actions()) {
      items.push_back(a->objectName().toStdString());
      enabled.push_back(a->isEnabled());
      checked.push_back(a->isChecked());
    }
  };
  Mouse mouse{controller->controlMetalView};
  // Empty preview, face tracking on: detect once is disabled, auto track marked.
  config.enableNewDetectLayout = true;
  manager->isFaceAutoTracking->setValue(true);
  mouse.press({500, 50}, Qt::RightButton);
  EXPECT_EQ(items, (std::vector<std::string>{"control_panel_detect_name",
                                             "control_panel_tracking_name",
                                             "menu_edit_remove_name"}));
  EXPECT_EQ(enabled, (std::vector<bool>{false, true, true}));
  EXPECT_EQ(checked, (std::vector<bool>{false, true, false}));

  // A right click on another ROI moves the selection to it before the menu shows.
  recording->clearCalls();
  mouse.press({150, 50}, Qt::RightButton);
  EXPECT_EQ(controller->roiEditor.selectRectIdx, 7);
  EXPECT_EQ(controller->controlBorderView->selectedRectId(), 7);
  EXPECT_EQ(recording->callsStartingWith("StartTransformRect"),
            std::vector<std::string>{"StartTransformRect 0 7"});
  EXPECT_EQ(items.size(), 4u);
  // A tracked one: deselected, the menu's track item marked, its actions address it.
  recording->pinnedIds = {8};
  mouse.press({350, 50}, Qt::RightButton);
  EXPECT_EQ(controller->controlBorderView->selectedRectId(), -1);
  EXPECT_EQ(checked, (std::vector<bool>{true, true, false, false}));
  recording->clearCalls();
  controller->menuDelete();
  EXPECT_EQ(recording->callsStartingWith("RemoveRect"), std::vector<std::string>{"RemoveRect 1 8"});

  // (No menu in focus mode: the editor's tables cover it; with the boards mounted, a mode with
  // no button of its own falls back to compose here.)

  // The application menu's commands reach the facade.
  recording->clearCalls();
  controller->menuTrackAll();
  controller->menuUntrackAll();
  controller->menuCleanAll();
  EXPECT_EQ(recording->calls(),
            (std::vector<std::string>{"TrackAllRects", "UntrackAllRects", "ClearAllRect"}));
}

TEST_F(MainControllerTest, HoverSetsTheCursorAndTheOverlaysHoveredRectangle) {
  makeManager();
  plugCamera();
  connect();
  makeController();
  controller->show();
  settle();
  auto recording = facades->last();
  recording->findRect = [](int x, int) {
    return x < 1000 ? Facade::Hit{true, false, false, 5} : Facade::Hit{};
  };
  Mouse mouse{controller->controlMetalView};
  mouse.hover({10, 10});
  EXPECT_EQ(controller->controlBorderView->hoveringRectId(), 5);
  EXPECT_EQ(controller->controlView->property("mouseState").toInt(),
            int(corvane::MouseState::anyMove));
  mouse.hover({controller->controlView->width() - 2.0, 10});
  EXPECT_EQ(controller->controlBorderView->hoveringRectId(), -1);
  EXPECT_EQ(controller->controlView->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(MainControllerTest, AWrappingRoiIsGrabbedAtItsRightEdgeAtThePanoramasLeftEnd) {
  makeManager();
  plugCamera();
  connect();
  ASSERT_TRUE(manager->is360Camera());
  makeController();
  controller->show();
  settle();
  auto recording = facades->last();
  controller->fillRoiEditorContext();
  const double k = controller->controlViewWidthMultiple;
  const int W = manager->cameraFormat().width;
  // From W - 150, 300 wide: its wrapped part ends at x 150.
  recording->findRect = [](int x, int y) {
    bool rows = y >= 300 && y <= 500;
    return rows && x <= 150 ? Facade::Hit{true, false, false, 4} : Facade::Hit{};
  };
  recording->transformingRect = {W - 150, 300, 300, 200};
  Mouse mouse{controller->controlMetalView};
  recording->clearCalls();
  // Whole view points, as the window system gives them: just left of the wrapped edge.
  const double x = std::floor(150 / k), y = std::floor(400 / k);
  mouse.press({x, y});
  EXPECT_EQ(controller->roiEditor.dragDirection, corvane::MouseState::dragRight);
  mouse.drag({x + 10, y});
  mouse.release({x + 10, y});
  auto sent = recording->callsStartingWith("SetTransformingRect");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0], "SetTransformingRect " + std::to_string(W - 150) + " 300 " +
                         std::to_string(int(300 + 10 * k)) + " 200");
}

// ---- the window's actions and its bindings to the camera and the board ----

namespace {

const char* kCompanyWithNotification = R"({"success": true, "errors": [], "data": {
    "aboutUrl": "https://k.example/about", "kestovaUrl": "https://k.example", "name": "Kestova",
    "no": "1", "vendor": [], "product": [], "redirectUrl": "",
    "downloadUrl": "https://k.example/download", "contactUrl": "https://k.example/contact",
    "docUrl": "", "stagingDownloadUrl": "", "stagingContactUrl": "", "stagingDocUrl": "",
    "notification": {"_id": "n-7", "content": "https://k.example/news/7", "date": "2026-12-01"}}})";


using corvane::EditMode;
using corvane::VerticalFovMode;

TEST_F(MainWindowActionsTest, FovEditCancelRestoresAndOkMakesTheNewDatum) {
  plugCamera();
  makeWindowed();
  connect();
  settle();
  auto recording = facades->last();
  ASSERT_TRUE(manager->is360Camera());
  EXPECT_EQ(manager->verticalFov->value(), VerticalFovMode::mid);  // nothing stored: mid
  manager->editOffsetDatumPoint = 100;
  recording->contentOffset = 320;
  recording->clearCalls();

  controller->basePositionView->button->click();
  settle();
  EXPECT_EQ(model.editMode->value(), EditMode::fov);
  EXPECT_EQ(controller->controlBoardWidthConstraints, 0.0);
  EXPECT_FALSE(controller->editButtonStackView->isHidden());
  EXPECT_TRUE(rig.logged("Edit mode: fov"));
  EXPECT_EQ(recording->callsStartingWith("enableDrawRefLine 1").size(), 1u);
  controller->fov3Button->click();
  settle();
  EXPECT_EQ(manager->verticalFov->value(), VerticalFovMode::down);
  EXPECT_TRUE(controller->fov3Button->isSelected);
  EXPECT_FALSE(controller->fov2Button->isSelected);
  controller->editCancelButton->click();
  settle();
  // The field of view and the content offset return; the Cancel clears nothing.
  EXPECT_EQ(manager->verticalFov->value(), VerticalFovMode::mid);
  EXPECT_EQ(recording->callsStartingWith("setContentOffset 100").size(), 1u);
  EXPECT_TRUE(recording->callsStartingWith("ClearAllRect").empty());
  EXPECT_EQ(recording->callsStartingWith("EndIgnoreAreaEditing 0").size(), 1u);
  EXPECT_EQ(model.editMode->value(), EditMode::none);
  EXPECT_EQ(controller->controlBoardWidthConstraints, 285.0);
  EXPECT_TRUE(rig.logged("Edit mode: none"));

  controller->basePositionView->button->click();
  settle();
  controller->fov3Button->click();
  settle();
  recording->contentOffset = 640;
  controller->editOKButton->click();
  settle();
  EXPECT_EQ(manager->verticalFov->value(), VerticalFovMode::down);
  EXPECT_EQ(recording->callsStartingWith("ClearAllRect").size(), 1u);
  EXPECT_EQ(manager->editOffsetDatumPoint, 640);
  EXPECT_EQ(controller->roiEditor.tempEditOffset, 0);
  EXPECT_EQ(recording->callsStartingWith("EndIgnoreAreaEditing 1").size(), 1u);
  EXPECT_EQ(controller->roiEditor.selectRectIdx, -1);
  EXPECT_EQ(defaults->integer("VerticalFov", -1), 2);
}

TEST_F(MainWindowActionsTest, IgnoreEditOkTurnsDetectionOnAndCancelPutsDeletedAreasBack) {
  plugCamera();
  makeWindowed();
  connect();
  settle();
  auto recording = facades->last();
  recording->clearCalls();
  manager->isAutoTracking->setValue(false);
  manager->isFaceAutoDetect->setValue(false);
  model.editMode->setValue(EditMode::ignore);
  settle();
  EXPECT_TRUE(rig.logged("Edit mode: ignore"));
  EXPECT_EQ(recording->callsStartingWith("StartIgnoreAreaEditing").size(), 1u);
  EXPECT_FALSE(controller->ignoreView->isHidden());
  EXPECT_TRUE(controller->basePositionView->isHidden());
  EXPECT_EQ(controller->controlBoardWidthConstraints, 0.0);
  // Nothing in the corner covers the buttons.
  QPoint ok = controller->editOKButton->mapTo(controller.get(),
                                              controller->editOKButton->rect().center());
  EXPECT_EQ(controller->childAt(ok), controller->editOKButton.data());
  controller->editOKButton->click();
  settle();
  EXPECT_TRUE(manager->isFaceAutoDetect->value());
  EXPECT_EQ(model.editMode->value(), EditMode::none);

  model.editMode->setValue(EditMode::ignore);
  settle();
  controller->ignoreRectsTempDel = {QRectF(10, 20, 100, 50), QRectF(300.7, 40, 60, 30)};
  recording->clearCalls();
  controller->editCancelButton->click();
  settle();
  EXPECT_TRUE(recording->callsStartingWith("AddIgnoreNewRect").empty());
  advance(100ms);
  EXPECT_EQ(recording->callsStartingWith("AddIgnoreNewRect"),
            (std::vector<std::string>{"AddIgnoreNewRect 10 20 110 70",
                                      "AddIgnoreNewRect 300 40 360 70"}));
  EXPECT_GT(callIndex("EndIgnoreAreaEditing 1"), callIndex("AddIgnoreNewRect"));
  EXPECT_TRUE(controller->ignoreRectsTempDel.empty());
}

TEST_F(MainWindowActionsTest, TheNotificationFollowsTheStoredIdAndOpensOnlyWebAddresses) {
  // No company record: the button stays as it is and does not animate.
  makeWindowed();
  EXPECT_TRUE(controller->notifyView->isHidden());
  EXPECT_FALSE(controller->isNotifyAnimating());
  controller->notificationButton->click();
  EXPECT_TRUE(opened.empty());
  controller.reset();
  window.reset();

  fetchCompany(kCompanyWithNotification);
  ASSERT_TRUE(company->data.notification);
  defaults->set("NotificationId", "n-7");
  makeWindowed();
  EXPECT_TRUE(controller->notifyView->isHidden());
  EXPECT_FALSE(controller->isNotifyAnimating());
  controller->setParent(nullptr);
  controller.reset();
  window.reset();

  defaults->set("NotificationId", "n-6");
  makeWindowed();
  EXPECT_FALSE(controller->notifyView->isHidden());
  EXPECT_TRUE(controller->isNotifyAnimating());
  ASSERT_TRUE(controller->notifyAnimationLayer);
  auto* animation =
      controller->notifyAnimationLayer->findChild<corvane::ImageSequenceAnimation*>();
  ASSERT_TRUE(animation);
  EXPECT_EQ(animation->frameInterval(), 100);
  EXPECT_NEAR(animation->duration(), 1.2, 1e-6);
  // A second start keeps the one animation.
  controller->startNotifyAnimation();
  EXPECT_EQ(controller->notifyImageView->findChildren<QLabel*>().size(), 1);

  controller->notificationButton->click();
  controller->notificationButton->click();
  EXPECT_EQ(defaults->string("NotificationId"), "n-7");
  EXPECT_FALSE(controller->isNotifyAnimating());
  EXPECT_EQ(opened, (std::vector<std::string>{"https://k.example/news/7",
                                              "https://k.example/news/7"}));

  // An address of another scheme from the cloud is logged and not opened.
  company->data.notification->content = "file:///etc/passwd";
  company->data.notification->_id = "n-8";
  controller->notificationButton->click();
  EXPECT_EQ(opened.size(), 2u);
  EXPECT_EQ(defaults->string("NotificationId"), "n-8");
  EXPECT_TRUE(rig.logged("not a web address: file:///etc/passwd"));
}

TEST_F(MainWindowActionsTest, WebsiteAndUpdateCommands) {
  makeWindowed();
  // Neither a company page nor a configured one: nothing opens, one line says so.
  controller->menuWebsite();
  EXPECT_TRUE(opened.empty());
  EXPECT_TRUE(rig.logged("no web page to open"));
  controller.reset();
  window.reset();

  makerURL = "https://maker.example";
  makeWindowed();
  controller->menuWebsite();
  EXPECT_EQ(opened, std::vector<std::string>{"https://maker.example"});
  fetchCompany(kCompanyWithNotification);
  controller->menuWebsite();
  EXPECT_EQ(opened.back(), "https://k.example");
  EXPECT_TRUE(rig.logged("default browser was successfully opened"));
  company->data.kestovaUrl = "file:///home";
  controller->menuWebsite();
  EXPECT_EQ(opened.size(), 2u);

  // A vendor with its own download page opens it; the others ask for the version check.
  config.vendor = "Tobrin";
  company->data.downloadUrl = "smb://k.example/download";
  controller->onMenuUpdate();
  EXPECT_EQ(opened.size(), 2u);
  company->data.downloadUrl = "https://k.example/download";
  controller->onMenuUpdate();
  EXPECT_EQ(opened.back(), "https://k.example/download");
  config.vendor = "42";
  size_t requests = rig.server.requestCount();
  controller->onMenuUpdate();
  EXPECT_EQ(controller->updateController->mode, corvane::UpdateMode::manual);
  ASSERT_TRUE(testsupport::LoopbackHttpServer::pumpUntil(
      [&] { return rig.server.requestCount() > requests; }));
}

// A window that has the preview's commands, to see the menus reach them.
class MenuRecordingController : public MainController {
  Q_OBJECT
 public:
  using MainController::MainController;
  std::vector<std::string> seen;
 public slots:
  void menuDetectBody() { seen.push_back("menuDetectBody"); }
  void menuDetectOnce() { seen.push_back("menuDetectOnce"); }
  void menuAutoTrack() { seen.push_back("menuAutoTrack"); }
  void menuCleanAll() { seen.push_back("menuCleanAll"); }
  void menuTrackAll() { seen.push_back("menuTrackAll"); }
  void menuUntrackAll() { seen.push_back("menuUntrackAll"); }
  // The record menus reach the window's actions by name, which then open the popup.
  void menuLoadRoi() {
    seen.push_back("menuLoadRoi");
    MainController::menuLoadRoi();
  }
  void menuSaveRoi() {
    seen.push_back("menuSaveRoi");
    MainController::menuSaveRoi();
  }
};

TEST_F(MainWindowActionsTest, MenusRouteToTheWindowsActions) {
  makeManager();
  std::map<std::string, std::function<void()>> menuSlots;
  auto env = actionsEnvironment();
  env.makerURL = "https://maker.example";
  env.assignMenuEvents = [&](const auto& events) {
    for (const auto& [name, body] : events) menuSlots[name] = body;
  };
  auto* recording = new MenuRecordingController(env);
  controller.reset(recording);
  const std::pair<const char*, const char*> routes[] = {
      {"menuAutoDetectEvent", "menuDetectBody"}, {"menuDetectOnceEvent", "menuDetectOnce"},
      {"menuAutoTrackEvent", "menuAutoTrack"},   {"menuCleanAllEvent", "menuCleanAll"},
      {"menuTrackAllEvent", "menuTrackAll"},     {"menuUntrackAllEvent", "menuUntrackAll"}};
  for (auto [event, action] : routes) {
    ASSERT_TRUE(menuSlots[event]) << event;
    menuSlots[event]();
    EXPECT_EQ(recording->seen.back(), action);
  }
  EXPECT_EQ(recording->seen.size(), 6u);
  // The record menus open the record popup in its save or load state.
  menuSlots["menuSaveRoiEvent"]();
  EXPECT_FALSE(recording->saveRoiView->isHidden());
  EXPECT_TRUE(recording->saveRoi()->isSaveState);
  menuSlots["menuSaveRoiEvent"]();
  EXPECT_TRUE(recording->saveRoiView->isHidden());
  menuSlots["menuLoadRoiEvent"]();
  EXPECT_FALSE(recording->saveRoi()->isSaveState);
  EXPECT_EQ(recording->seen.back(), "menuLoadRoi");
  recording->saveRoiView->hide();
  menuSlots["menuWebsiteEvent"]();
  EXPECT_EQ(opened, std::vector<std::string>{"https://maker.example"});
  // The popups' menus toggle them.
  menuSlots["menuLanguageEvent"]();
  EXPECT_FALSE(recording->languageView->isHidden());
  menuSlots["menuLanguageEvent"]();
  EXPECT_TRUE(recording->languageView->isHidden());
  menuSlots["menuPreferencesiEvent"]();
  EXPECT_FALSE(recording->settingView->isHidden());
  menuSlots["menuUpdateEvent"]();
  EXPECT_EQ(recording->updateController->mode, corvane::UpdateMode::manual);
  // Without the action the menu is only logged.
  EXPECT_FALSE(controller->sendAction("menuNoSuchThing"));
  EXPECT_TRUE(rig.logged("no action menuNoSuchThing"));
}

TEST_F(MainWindowActionsTest, ClosingPopupsRefusesNowAndTheSimpleLayoutFollows) {
  plugCamera();
  makeWindowed();
  connect();
  settle();
  controller->settingView->show();
  model.editMode->setValue(EditMode::fov);
  settle();
  EXPECT_FALSE(controller->closeAllPopups());
  settle();
  EXPECT_TRUE(controller->settingView->isHidden());
  EXPECT_EQ(model.editMode->value(), EditMode::none);
  EXPECT_FALSE(controller->isSimpleMode());
  advance(100ms);
  EXPECT_TRUE(controller->isSimpleMode());
  EXPECT_EQ(controller->controlBoardWidthConstraints, 40.0);
  EXPECT_TRUE(controller->scrollView->isHidden());
  EXPECT_FALSE(controller->smallControlBoardView->isHidden());
  EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
  // The panorama at 128 high beside the small board.
  EXPECT_EQ(window->maximumSize(), QSize(40 + 455, 128));
  // Leaving and entering an edit mode keeps the small column.
  model.editMode->setValue(EditMode::none);
  settle();
  EXPECT_EQ(controller->controlBoardWidthConstraints, 40.0);
  // Zooming does nothing in the simple view.
  QRect before = window->geometry();
  controller->windowZoom();
  EXPECT_EQ(window->geometry(), before);

  // A disconnection leaves the simple view for the stored frame, here too small.
  defaults->set("WindowWidth", 500.0);
  defaults->set("WindowHeight", 800.0);
  manager->connectMode->setValue(ConnectMode::disconnected);
  settle();
  EXPECT_FALSE(controller->isSimpleMode());
  EXPECT_EQ(controller->controlBoardWidthConstraints, 285.0);
  EXPECT_FALSE(controller->popupView->isHidden());
  EXPECT_EQ(window->minimumSize(), QSize(640, 360));
  EXPECT_EQ(window->size(), QSize(640, 360));
  EXPECT_FALSE(window->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(controller->needInit);
}

TEST_F(MainWindowActionsTest, TheSimpleLayoutHasWaysBackToTheFullWindow) {
  plugCamera();
  makeWindowed();
  window->setCustomWindowDelegate(controller.get(), controller.get());
  connect();
  settle();
  // The stored frame comes back (as far as the test's screen allows).
  defaults->set("WindowWidth", 900.0);
  defaults->set("WindowHeight", 600.0);
  const QSize simple(40 + 455, 128);
  const auto minimized = [&] { return bool(window->windowState() & Qt::WindowMinimized); };
  const auto full = [&] {
    return !controller->isSimpleMode() && !controller->scrollView->isHidden() &&
           controller->smallControlBoardView->isHidden() &&
           window->size() == QSize(900, 600).boundedTo(roomOnScreen()) &&
           !(window->windowFlags() & Qt::WindowStaysOnTopHint);
  };
  // The window manager's minimise of the full layout: refused, the simple layout follows.
  const auto minimiseToSimple = [&] {
    window->setWindowState(window->windowState() | Qt::WindowMinimized);
    EXPECT_FALSE(minimized());
    advance(100ms);
    ASSERT_TRUE(controller->isSimpleMode());
    EXPECT_EQ(window->maximumSize(), simple);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
  };
  const auto previewCentre = [&] {
    return controller->contentView->mapTo(window.get(),
                                          controller->controlView->geometry().center());
  };

  // A double click on the mini preview.
  minimiseToSimple();
  QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, {}, previewCentre());
  settle();
  EXPECT_TRUE(full());

  // The small board's button, with its tool tip.
  minimiseToSimple();
  corvane::CustomButton* back = controller->smallControlBoardController()->fullWindowButton;
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->isVisibleTo(window.get()));
  EXPECT_FALSE(back->toolTip().isEmpty());
  QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                    back->mapTo(window.get(), back->rect().center()));
  settle();
  EXPECT_TRUE(full());

  // A second minimise, from the simple layout, goes to the taskbar; coming back brings the
  // full window.
  minimiseToSimple();
  window->setWindowState(window->windowState() | Qt::WindowMinimized);
  settle();
  EXPECT_TRUE(minimized());
  EXPECT_TRUE(controller->isSimpleMode());
  window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
  settle();
  EXPECT_FALSE(minimized());
  EXPECT_TRUE(full());
  // The program's own minimise takes the same way.
  minimiseToSimple();
  EXPECT_TRUE(window->miniaturize());
  EXPECT_TRUE(minimized());
  window->showNormal();
  settle();
  EXPECT_TRUE(full());

  // In the full layout a double click leaves the layout alone, and a window minimised from it
  // (nothing to close without a picture) comes back as it went.
  QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, {}, previewCentre());
  settle();
  EXPECT_TRUE(full());
  manager->stopConnection();
  settle();
  ASSERT_FALSE(controller->isSimpleMode());
  window->setWindowState(window->windowState() | Qt::WindowMinimized);
  EXPECT_TRUE(minimized());
  window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
  settle();
  EXPECT_FALSE(controller->isSimpleMode());
  EXPECT_FALSE(minimized());
}

TEST_F(MainWindowActionsTest, StoredFrameMissingGives1280By720AtTheOrigin) {
  makeWindowed();
  controller->showSimpleUI(true);
  EXPECT_TRUE(controller->isSimpleMode());
  controller->leaveSimpleUI();
  // As large as the screen allows, title bar included.
  EXPECT_EQ(window->size(), QSize(1280, 720).boundedTo(roomOnScreen()));
  EXPECT_EQ(window->pos(), QPoint(0, 0));
}

TEST_F(MainWindowActionsTest, FovBindingsOnEveryConnection) {
  usbCamera->addMode(3840, 1080, {360, 120, 360, 120, 1});  // no room to tilt the view
  plugCamera();
  makeWindowed();
  // The simulated camera reports no vertical field of view: the controls go on each connection.
  connect();
  settle();
  ASSERT_FALSE(manager->cameraFormat().enableVFov);
  for (QWidget* view : {static_cast<QWidget*>(controller->basePositionView.data()),
                        static_cast<QWidget*>(controller->fov1Button.data()),
                        static_cast<QWidget*>(controller->fov2Button.data()),
                        static_cast<QWidget*>(controller->fov3Button.data())})
    EXPECT_EQ(MainController::alphaOf(view), 0.0);
  controller->fov1Button->setAlphaValue(1.0);
  manager->stopConnection();
  settle();
  connect();
  settle();
  EXPECT_EQ(MainController::alphaOf(controller->fov1Button), 0.0);

  // The stored field of view comes back on connection.
  defaults->set("VerticalFov", qint64(0));
  manager->connectMode->setValue(ConnectMode::connected);
  settle();
  EXPECT_EQ(manager->verticalFov->value(), VerticalFovMode::top);
  EXPECT_TRUE(controller->fov1Button->isSelected);
  defaults->set("VerticalFov", qint64(9));
  manager->connectMode->setValue(ConnectMode::connected);
  settle();
  EXPECT_EQ(manager->verticalFov->value(), VerticalFovMode::mid);

  // Without a button for the value the row falls back to mid once, and stops there.
  int notified = 0;
  manager->verticalFov->bind([&](VerticalFovMode) { ++notified; });
  delete controller->fov2Button.data();
  manager->verticalFov->setValue(VerticalFovMode::mid);
  settle();
  EXPECT_EQ(notified, 1);
  for (auto* b : {controller->fov1Button.data(), controller->fov3Button.data()})
    EXPECT_FALSE(b->isSelected);
  qDeleteAll(controller->fovStackView->findChildren<corvane::CustomButton*>());
  notified = 0;
  manager->verticalFov->setValue(VerticalFovMode::down);
  settle();
  EXPECT_EQ(notified, 2);  // down, then mid, then quiet
  EXPECT_EQ(manager->verticalFov->value(), VerticalFovMode::mid);
}

TEST_F(MainWindowActionsTest, ThirteenListenersHaveTheirBodies) {
  config.focusMode = true;  // offered by the boards
  plugCamera();
  makeManager();
  auto facade = manager->manager();
  settle();
  auto recording = facades->last();
  recording->clearCalls();
  makeWindowed();
  // Those that fire at registration ran in order: the record read-backs, the selection cleared
  // by the tracking listener, the editors closed by the edit-mode listener.
  EXPECT_LT(callIndex("GetTransformingRect"), callIndex("EndTransformRect"));
  EXPECT_LT(callIndex("EndTransformRect"), callIndex("enableSmallVideoWindow 1"));
  EXPECT_TRUE(controller->fov2Button->isSelected);  // the field-of-view listener: mid
  connect();
  settle();
  recording = facades->last();

  // Auto tracking ends any transform and clears the selection.
  controller->roiEditor.isRectTrack = true;
  controller->selectRect(true, 12);
  EXPECT_EQ(controller->controlBorderView->selectedRectId(), 12);
  EXPECT_EQ(recording->callsStartingWith("StartTransformRect 1 12").size(), 1u);
  EXPECT_TRUE(controller->roiEditor.isStartTransform);
  manager->isAutoTracking->setValue(true);
  settle();
  EXPECT_EQ(controller->roiEditor.selectRectIdx, -1);
  EXPECT_FALSE(controller->roiEditor.isStartTransform);

  // Display mode from another thread: the work is done on the main queue.
  config.manualFocusRect = {corvane::RectPoint()};
  recording->focusManualRect = {100, 20, 200, 300};
  controller->selectRect(true, 3);
  std::thread([&] { manager->displayMode->setValue(corvane::Display::focus); }).join();
  settle();
  EXPECT_TRUE(controller->roiEditor.isStartFocusTransform);
  EXPECT_EQ(controller->roiEditor.selectRectIdx, -1);
  controller->selectRect(true, 4);
  manager->setFitModeDicEntry("Other", [] {});
  manager->setFitModeDicEntry("MainController", [] {});  // the first registration stays
  controller->onFitModeChanged();
  EXPECT_EQ(controller->roiEditor.selectRectIdx, -1);

  // Mirror: the overlay, the facade and its log line.
  model.mirror->setValue(true);
  settle();
  EXPECT_TRUE(controller->controlBorderView->mirror());
  EXPECT_EQ(recording->callsStartingWith("setMirror 1").size(), 1u);
  EXPECT_TRUE(rig.logged("setMirror():  true"));

  // The split window's button closes the navigator panel.
  model.splitWindow->setValue(true);
  settle();
  EXPECT_FALSE(controller->navigatorView->isHidden());
  controller->splitWindowButton->click();
  settle();
  EXPECT_TRUE(controller->navigatorView->isHidden());
  EXPECT_FALSE(config.defaultLargeNavigator);

  // Opening the advanced effects brings the end of the board into view.
  controller->controlBoardController()->resize(285, 3000);
  model.advancedEffect->setValue(true);
  settle();
  QScrollBar* bar = controller->scrollView->verticalScrollBar();
  EXPECT_EQ(bar->value(), bar->maximum());
  model.frame->setValue(QRectF(0, 0, 285, 900));
  settle();
  EXPECT_EQ(bar->value(), 0);
  (void)facade;
}

TEST_F(MainWindowActionsTest, FocusRectangleMinimumsAndModes) {
  makeWindowed();
  config.minRectSideLength = 120;
  config.manualFocusRect = {corvane::RectPoint()};
  config.presentRect = {corvane::RectPoint()};
  const double W = 1920, H = 1080;  // the format before any camera
  manager->displayMode->setValue(corvane::Display::focus);
  settle();
  controller->roiEditor.isStartTransform = false;
  controller->saveFocusRect(QRectF(96, 54, 60, 50));
  // Outside a transform the height is at least 180, the width at least the side length.
  EXPECT_NEAR(config.manualFocusRect[0].y4 - config.manualFocusRect[0].y1, 180 / H, 1e-12);
  EXPECT_NEAR(config.manualFocusRect[0].x2 - config.manualFocusRect[0].x1, 120 / W, 1e-12);
  EXPECT_NEAR(config.manualFocusRect[0].x1, 96 / W, 1e-12);
  controller->roiEditor.isStartTransform = true;
  controller->saveFocusRect(QRectF(96, 54, 60, 50));
  EXPECT_NEAR(config.manualFocusRect[0].y3 - config.manualFocusRect[0].y2, 120 / H, 1e-12);

  manager->displayMode->setValue(corvane::Display::presentation);
  settle();
  controller->saveFocusRect(QRectF(192, 108, 400, 300));
  EXPECT_NEAR(config.presentRect[0].x3, (192.0 + 400) / W, 1e-12);
  EXPECT_NEAR(config.presentRect[0].y3, (108.0 + 300) / H, 1e-12);

  // Grid mode keeps neither.
  manager->displayMode->setValue(corvane::Display::grid);
  settle();
  auto focus = config.manualFocusRect[0];
  auto present = config.presentRect[0];
  controller->saveFocusRect(QRectF(0, 0, 500, 500));
  EXPECT_EQ(config.manualFocusRect[0].x3, focus.x3);
  EXPECT_EQ(config.presentRect[0].x3, present.x3);
}

TEST_F(MainWindowActionsTest, CursorsOfTheGestures) {
  makeWindowed();
  using corvane::MouseState;
  controller->setCursor(MouseState::anyMove);
  QCursor cursor = controller->controlView->cursor();
  EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
  EXPECT_EQ(cursor.hotSpot(), QPoint(13, 13));
  controller->setCursor(MouseState::dragTop);
  EXPECT_EQ(controller->controlView->cursor().hotSpot(), QPoint(6, 10));
  controller->setCursor(MouseState::dragRightBottom);
  EXPECT_EQ(controller->controlView->cursor().hotSpot(), QPoint(10, 10));
  EXPECT_FALSE(controller->controlView->cursor().pixmap().isNull());
  controller->setCursor(MouseState::noDraw);
  EXPECT_EQ(controller->controlView->cursor().shape(), Qt::ArrowCursor);
}

}  // namespace

#include "MainControllerTest.moc"

// ---- the preview's neighbours: popups, hidden controls, the ROI just drawn ----

TEST_F(MainWindowActionsTest, APopupOverThePreviewTakesEveryMouseEventInItsFrame) {
  makeConnectedWindow();
  advance(std::chrono::seconds(1));  // the connection popup has faded out
  auto recording = facades->last();
  int menus = 0;
  controller->popUpContextMenu = [&](QMenu&, QPoint) { ++menus; };
  controller->toggleSaveRoiPopup(true);
  settle();
  ASSERT_FALSE(controller->saveRoiView->isHidden());
  const QRect popup = controller->saveRoiView->geometry();
  const QRect preview = controller->controlView->geometry();
  const QRect over = popup & preview;
  ASSERT_FALSE(over.isEmpty()) << "the record popup lies over the preview";
  recording->findRect = [](int, int) { return testsupport::RecordingAnalysisFacade::Hit{}; };
  recording->clearCalls();

  // Whatever part of the popup is under the pointer (its picture, its words, its own background).
  auto editorCalls = [&] {
    std::vector<std::string> seen;
    for (const char* call : {"FindRect", "SetTempRect", "AddNewRect", "EndTransformRect"})
      for (const auto& c : recording->callsStartingWith(call)) seen.push_back(c);
    return seen;
  };
  for (QPoint at : {over.topLeft() + QPoint(20, 20), over.center(),
                    over.bottomRight() - QPoint(20, 20)}) {
    QWidget* target = controller->contentView->childAt(at);
    ASSERT_TRUE(target);
    ASSERT_TRUE(target == controller->saveRoiView || controller->saveRoiView->isAncestorOf(target));
    Mouse mouse{target};
    QPointF local = target->mapFrom(controller->contentView, at);
    mouse.hover(local);
    mouse.stroke(local, local + QPointF(120, 60));
    mouse.press(local, Qt::RightButton);
  }
  EXPECT_EQ(editorCalls(), std::vector<std::string>{});
  EXPECT_EQ(menus, 0);


  // With the popup gone the same stroke draws.
  controller->toggleSaveRoiPopup(true);
  settle();
  ASSERT_TRUE(controller->saveRoiView->isHidden());
  Mouse previewMouse{controller->controlMetalView};
  QPointF local = controller->controlMetalView->mapFrom(controller->contentView, over.center());
  previewMouse.stroke(local, local + QPointF(120, 60));
  EXPECT_EQ(recording->callsStartingWith("AddNewRect").size(), 1u);
}

TEST_F(MainWindowActionsTest, HiddenFovControlsTakeNoClick) {
  usbCamera->addMode(3840, 1080, {360, 120, 360, 120, 1});  // no vertical field of view
  plugCamera();
  makeWindowed();
  connect();
  advance(std::chrono::seconds(3));  // the base-position button has collapsed
  ASSERT_FALSE(manager->cameraFormat().enableVFov);
  ASSERT_TRUE(manager->is360Camera());
  // Shown but see-through: the window system hands a click there to what lies beneath.
  QWidget* base = controller->basePositionView;
  ASSERT_TRUE(base->isVisible());
  EXPECT_EQ(MainController::alphaOf(base), 0.0);
  const QPoint centre = base->geometry().center();
  QWidget* hit = controller->contentView->childAt(centre);
  EXPECT_TRUE(hit != base && !base->isAncestorOf(hit));
  QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                    controller->contentView->mapTo(window.get(), centre));
  settle();
  EXPECT_EQ(model.editMode->value(), corvane::EditMode::none);
  // The FOV buttons likewise, wherever a layout shows their row.
  controller->fovStackView->show();
  controller->fovStackView->raise();
  const QPoint fov = controller->fov2Button->mapTo(controller->contentView,
                                                    controller->fov2Button->rect().center());
  hit = controller->contentView->childAt(fov);
  EXPECT_NE(hit, controller->fov2Button.data());
  const VerticalFovMode before = manager->verticalFov->value();
  QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                    controller->contentView->mapTo(window.get(), fov));
  settle();
  EXPECT_EQ(manager->verticalFov->value(), before);

  // A camera with a vertical field of view: the same controls are there and take clicks.
  manager->stopConnection();
  settle();
  usbCamera->addMode(3840, 1080, {360, 90, 360, 120, 1});
  connect();
  settle();
  ASSERT_TRUE(manager->cameraFormat().enableVFov);
  EXPECT_EQ(MainController::alphaOf(base), 1.0);
  // Dimmed through an opacity effect, its caption holds none of its own: Qt would draw nothing of
  // it inside the button's.
  ASSERT_TRUE(controller->basePositionView->title);
  EXPECT_EQ(controller->basePositionView->title->graphicsEffect(), nullptr);
  EXPECT_FALSE(base->testAttribute(Qt::WA_TransparentForMouseEvents));
  EXPECT_FALSE(controller->fov2Button->testAttribute(Qt::WA_TransparentForMouseEvents));
}

TEST_F(MainWindowActionsTest, TheRoiJustDrawnIsTheOneTheArrowKeysMove) {
  makeConnectedWindow();
  advance(std::chrono::seconds(1));
  auto recording = facades->last();
  // The facade has the new ROI (id 9) once a frame has taken it in.
  bool added = false;
  recording->findRect = [&](int x, int y) {
    testsupport::RecordingAnalysisFacade::Hit hit;
    if (added && x >= 100 && x <= 400 && y >= 40 && y <= 300) {
      hit.found = true;
      hit.idx = 9;
    }
    return hit;
  };
  recording->transformingRect = {100, 40, 300, 260};
  controller->fillRoiEditorContext();
  const double k = controller->controlViewWidthMultiple;
  Mouse mouse{controller->controlMetalView};
  mouse.stroke({110 / k, 50 / k}, {390 / k, 290 / k});
  ASSERT_EQ(recording->callsStartingWith("AddNewRect").size(), 1u);
  ASSERT_FALSE(controller->roiEditor.isStartTransform);
  added = true;
  recording->clearCalls();
  QTest::keyClick(window.get(), Qt::Key_Right);
  EXPECT_EQ(recording->callsStartingWith("StartTransformRect 0 9").size(), 1u);
  EXPECT_EQ(recording->callsStartingWith("SetTransformingRect 105 40 300 260").size(), 1u);
  EXPECT_EQ(controller->roiEditor.selectRectIdx, 9);
  EXPECT_EQ(controller->controlBorderView->selectedRectId(), 9);
  QTest::keyClick(window.get(), Qt::Key_Down);
  EXPECT_EQ(recording->callsStartingWith("SetTransformingRect 105 45 300 260").size(), 1u);

  // A press elsewhere after drawing: the keys wait for a new choice.
  controller->selectRect(false, -1);
  mouse.stroke({110 / k, 50 / k}, {390 / k, 290 / k});
  mouse.press({600 / k, 400 / k});
  mouse.release({600 / k, 400 / k});
  recording->clearCalls();
  QTest::keyClick(window.get(), Qt::Key_Right);
  EXPECT_TRUE(recording->callsStartingWith("StartTransformRect").empty());
  EXPECT_TRUE(recording->callsStartingWith("SetTransformingRect").empty());
}

TEST_F(MainControllerTest, OnlyAFullPanoramaWrapsAtItsEdges) {
  makeManager();
  makeController();
  controller->setupMetalViews();
  ASSERT_FALSE(manager->is360Camera());
  for (corvane::LayoutView* view :
       {controller->metalView.data(), controller->controlMetalView.data()})
    EXPECT_FALSE(view->environment().wrapSource);
  plugCamera();
  connect();
  settle();
  ASSERT_TRUE(manager->is360Camera());
  for (corvane::LayoutView* view :
       {controller->metalView.data(), controller->controlMetalView.data()})
    EXPECT_TRUE(view->environment().wrapSource);
}
