#include <QMenuBar>
#include <QScreen>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "Bundle.h"
#include "MainControllerFixture.h"
#include "OutlineBudget.h"
#include "config/LenientJson.h"
#include "dispatch/MainQueue.h"
#include "i18n/Localized.h"
#include "widgets/NamedColors.h"

namespace {

using corvane::EditMode;
using corvane::VerticalFovMode;

// The window's keys, frame, stream state, ROI records and popups.
class MainWindowRecordsTest : public MainWindowActionsTest {
 protected:
  // A file where a folder goes: nothing can be written below it.
  static void blockFolder(const std::string& path) {
    std::ofstream blocker(path);
    blocker << "a file where the folder goes";
  }
  // Edit, Save Layout, Save, with one box and a picture.
  void saveOneBoxLayout() {
    orlith::SelvoRect box;
    box.rect = {0, 0, 100, 100};
    facades->last()->manualRects = {box};
    livePicture = QImage(200, 50, QImage::Format_RGB32);
    livePicture.fill(Qt::gray);
    controller->toggleSaveRoiPopup(true);
    settle();
    controller->saveRoi()->roiOkButton->click();
    settle();
  }
};

// ---- keys, the window's frame and the virtual camera's stream state ----

TEST_F(MainWindowRecordsTest, ArrowKeysNudgeOnlyTheRectangleBeingEditedAndAddUp) {
  makeConnectedWindow();
  auto recording = facades->last();
  recording->transformingRect = {100, 100, 200, 120};
  recording->clearCalls();
  QTest::keyClick(window.get(), Qt::Key_Right);
  EXPECT_TRUE(recording->callsStartingWith("SetTransformingRect").empty());

  controller->roiEditor.isStartTransform = true;
  controller->updateSelectOriRect();
  QTest::keyClick(window.get(), Qt::Key_Right);
  QTest::keyClick(window.get(), Qt::Key_Right);
  QTest::keyClick(window.get(), Qt::Key_Up);
  EXPECT_EQ(recording->transformingRect.x, 110);
  EXPECT_EQ(recording->transformingRect.y, 95);
  EXPECT_EQ(recording->transformingRect.width, 200);
  EXPECT_EQ(controller->roiEditor.selectOriRect, (corvane::RoiEditor::Rect{110, 95, 200, 120}));
  // Any other key still hands the rectangle over unchanged.
  QTest::keyClick(window.get(), Qt::Key_A);
  EXPECT_EQ(recording->callsStartingWith("SetTransformingRect 110 95 200 120").size(), 2u);

  controller->roiEditor.isStartTransform = false;
  controller->roiEditor.isStartFocusTransform = true;
  controller->roiEditor.focusOriRect = {500, 300, 400, 300};
  recording->clearCalls();
  QTest::keyClick(window.get(), Qt::Key_Left);
  QTest::keyClick(window.get(), Qt::Key_Down);
  EXPECT_EQ(recording->callsStartingWith("SetFocusModeManualRect 495 300 400 300").size(), 1u);
  EXPECT_TRUE(recording->callsStartingWith("SetTransformingRect").empty());
}

TEST_F(MainWindowRecordsTest, ForwardDeleteRemovesTheRoiBeingEditedAndNothingOtherwise) {
  makeConnectedWindow();
  auto recording = facades->last();
  recording->transformingRect = {100, 100, 200, 120};
  recording->startTransformAnswer = true;
  recording->clearCalls();
  // Nothing selected: the key does nothing.
  QTest::keyClick(window.get(), Qt::Key_Delete);
  EXPECT_TRUE(recording->callsStartingWith("RemoveRect").empty());

  controller->selectRect(true, 7);
  ASSERT_TRUE(controller->roiEditor.isStartTransform);
  controller->updateSelectOriRect();
  recording->clearCalls();
  QTest::keyClick(window.get(), Qt::Key_Delete);
  ASSERT_EQ(recording->callsStartingWith("RemoveRect").size(), 1u);
  EXPECT_EQ(recording->callsStartingWith("RemoveRect")[0], "RemoveRect 0 7");
  // The rectangle is then handed over unchanged and both rectangles are read back.
  EXPECT_EQ(recording->callsStartingWith("SetTransformingRect 100 100 200 120").size(), 1u);
  EXPECT_LT(callIndex("RemoveRect"), callIndex("SetTransformingRect"));
  EXPECT_GT(recording->callsStartingWith("GetTransformingRect").size(), 0u);
  // Backspace deletes as Delete does.
  controller->selectRect(true, 9);
  recording->clearCalls();
  QTest::keyClick(window.get(), Qt::Key_Backspace);
  EXPECT_EQ(recording->callsStartingWith("RemoveRect"), std::vector<std::string>{"RemoveRect 0 9"});
}

// The file source and the real analysis: the ROI the user edits is gone after forward delete.
TEST_F(MainWindowRecordsTest, ForwardDeleteRemovesTheRoiFromTheRealAnalysis) {
  std::string clip = demoClip();
  if (!std::filesystem::exists(clip)) GTEST_SKIP() << "no demo clip: run scripts/setup";
  corvane::PlayerManager player(clock);
  makeDemoManager(player);
  makeWindowed();
  connectDemo(player);
  ASSERT_EQ(manager->connectMode->value(), ConnectMode::connected);
  std::shared_ptr<corvane::AnalysisFacade> facade = manager->manager();
  ASSERT_TRUE(facade);
  // The analysis takes edits in with the next frame it works on.
  player.play();
  const int W = manager->cameraFormat().width, H = manager->cameraFormat().height;
  facade->AddNewRect(W / 8, H / 4, W / 8 + W / 10, H / 4 + H / 3);
  ASSERT_TRUE(demoFramesUntil(player, [&] { return facade->GetManualRect().size() == 1; }));
  bool isTrack = false, isDetect = false;
  int idx = -1;
  ASSERT_TRUE(facade->FindRect(W / 8 + W / 20, H / 4 + H / 6, isTrack, isDetect, idx));
  controller->roiEditor.isRectTrack = isTrack;
  controller->selectRect(true, idx);
  ASSERT_TRUE(controller->roiEditor.isStartTransform);
  QTest::keyClick(window.get(), Qt::Key_Delete);
  EXPECT_TRUE(demoFramesUntil(player, [&] { return facade->GetManualRect().empty(); }));
  closeWindow();
  endDemo(player);
}

TEST_F(MainWindowRecordsTest, TheFrameIsKeptButNotInTheSimpleLayoutAndNoSizeInFullScreen) {
  makeConnectedWindow();
  window->resize(700, 500);
  window->move(30, 40);
  settle();
  EXPECT_EQ(defaults->doubleValue("WindowWidth"), 700.0);
  EXPECT_EQ(defaults->doubleValue("WindowHeight"), 500.0);
  EXPECT_EQ(defaults->doubleValue("WindowX"), 30.0);
  EXPECT_EQ(defaults->doubleValue("WindowY"), 40.0);

  controller->showSimpleUI(true);
  settle();
  EXPECT_EQ(window->maximumSize(), QSize(40 + 455, 128));
  EXPECT_EQ(defaults->doubleValue("WindowWidth"), 700.0);
  EXPECT_EQ(defaults->doubleValue("WindowX"), 30.0);
  // Back to the frame kept before.
  controller->leaveSimpleUI();
  settle();
  EXPECT_EQ(window->size(), QSize(700, 500));
  EXPECT_EQ(window->pos(), QPoint(30, 40));

  controller->setIsFullScreen(true);
  window->resize(900, 600);
  window->move(50, 60);
  settle();
  EXPECT_EQ(defaults->doubleValue("WindowWidth"), 700.0);
  EXPECT_EQ(defaults->doubleValue("WindowX"), 50.0);
  EXPECT_EQ(defaults->doubleValue("WindowY"), 60.0);
}

// A resize re-anchors the base-position button, reads back what the camera shows when one is
// connected, and has the control board laid out again.
TEST_F(MainWindowRecordsTest, AResizeReanchorsReadsBackAndRefreshesTheBoard) {
  makeConnectedWindow();
  auto readBacks = [this] {
    return std::count_if(rig.logLines.begin(), rig.logLines.end(), [](const std::string& l) {
      return l.find("updateFocusRect(): focusOriRect") != std::string::npos;
    });
  };
  controller->notifyView->hide();
  controller->basePositionAnchor = corvane::BasePositionAnchor::notify;  // stale
  auto before = readBacks();
  int frames = 0;
  model.frame->bind([&](QRectF) { ++frames; });
  window->resize(700, 560);
  settle();
  advance(200ms);
  const double band = controller->contentView->height() -
                      (controller->controlView->y() + controller->controlView->height());
  ASSERT_GE(band, corvane::MainWindowGeometry::kBasePositionBand);
  EXPECT_EQ(controller->basePositionAnchor, corvane::BasePositionAnchor::content);
  EXPECT_GT(readBacks(), before);
  EXPECT_GE(frames, 1);

  // Without a camera only the board is laid out again.
  manager->connectMode->setValue(ConnectMode::disconnected);
  settle();
  before = readBacks();
  frames = 0;
  window->resize(660, 520);
  settle();
  advance(200ms);
  EXPECT_EQ(readBacks(), before);
  EXPECT_GE(frames, 1);
}

TEST_F(MainWindowRecordsTest, StreamStartCollapsesIntoTheSimpleLayoutAndStopResetsTheOutput) {
  makeConnectedWindow();
  defaults->set("WindowWidth", 720.0);
  defaults->set("WindowHeight", 480.0);
  controller->settingView->show();
  // The link reports from its own thread.
  std::thread link([this] { controller->streamStateChanged(true); });
  link.join();
  EXPECT_FALSE(controller->settingView->isHidden());
  settle();
  EXPECT_TRUE(controller->settingView->isHidden());
  EXPECT_FALSE(controller->isSimpleMode());
  advance(100ms);
  EXPECT_TRUE(controller->isSimpleMode());

  EXPECT_FALSE(manager->resolutionChange());
  std::thread stop([this] { controller->streamStateChanged(false); });
  stop.join();
  settle();
  EXPECT_TRUE(manager->resolutionChange());
  EXPECT_FALSE(controller->isSimpleMode());
  EXPECT_EQ(window->size(), QSize(720, 480));

  // A report arriving after the window went is dropped.
  controller->streamStateChanged(true);
  controller->setParent(nullptr);
  window.reset();
  controller.reset();
  settle();
}

// A peer flooding the link with states costs the main thread one application per turn, and a
// state that did not change rebuilds nothing.
TEST_F(MainWindowRecordsTest, AFloodOfStreamStatesIsAppliedOnceWithTheLastState) {
  makeConnectedWindow();
  settle();
  auto applied = [this] {
    size_t n = 0;
    for (const auto& line : rig.logLines)
      if (line.find("streamStateChanged(): ") != std::string::npos) ++n;
    return n;
  };
  const size_t before = applied();
  const size_t pending = platform::MainQueue::shared().pendingCount();
  std::thread link([this] {
    for (int i = 0; i < 20000; ++i) controller->streamStateChanged(i % 2 == 0);
  });
  link.join();
  EXPECT_EQ(platform::MainQueue::shared().pendingCount(), pending + 1);
  settle();
  EXPECT_EQ(applied(), before + 1);
  EXPECT_TRUE(manager->resolutionChange());  // the last state, "stopped", was applied

  // The same state again: nothing is rebuilt.
  manager->setResolutionChange(false);
  controller->streamStateChanged(false);
  settle();
  EXPECT_EQ(applied(), before + 1);
  EXPECT_FALSE(manager->resolutionChange());
}

TEST_F(MainWindowRecordsTest, FirstAppearanceGivesTheSimpleLayoutWithTheCameraThereOrAStream) {
  // Asked for, but no camera yet: the normal layout stays.
  config.defaultSimple = true;
  makeManager();
  makeWindowed();
  advance(100ms);
  EXPECT_FALSE(controller->isSimpleMode());
  closeWindow();

  // Asked for with the camera connected: the simple layout, a moment after the window shows.
  plugCamera();
  connect();
  makeWindowed();
  EXPECT_FALSE(controller->isSimpleMode());
  advance(100ms);
  EXPECT_TRUE(controller->isSimpleMode());
  EXPECT_EQ(window->maximumSize(), QSize(40 + 455, 128));
  closeWindow();

  // Not asked for: the normal layout.
  config.defaultSimple = false;
  makeWindowed();
  advance(100ms);
  EXPECT_FALSE(controller->isSimpleMode());
  closeWindow();

  // A program watching the virtual camera: the simple layout whatever the setting.
  streamingNow = true;
  makeWindowed();
  advance(100ms);
  EXPECT_TRUE(controller->isSimpleMode());
}

TEST_F(MainWindowRecordsTest, AFullHdFormatGivesA268By128SimpleWindowNearTheTopRight) {
  // Before any camera the format is the 1920 x 1080 default (USB cameras come wider).
  makeWindowed();
  ASSERT_EQ(manager->cameraFormat().width, 1920);
  ASSERT_EQ(manager->cameraFormat().height, 1080);
  controller->showSimpleUI(true);
  settle();
  QApplication::processEvents();  // the window's layout hands the new size on
  // 1920 / (1080 / 128) = 227.55..., rounded to 228 beside the 40-wide board.
  EXPECT_EQ(window->maximumSize(), QSize(268, 128));
  EXPECT_EQ(window->minimumSize(), QSize(268, 128));
  EXPECT_EQ(window->size(), QSize(268, 128));
  // The preview fills the content beside the small board.
  EXPECT_EQ(controller->controlView->geometry(), QRect(0, 0, 228, 128));
  const QRect S = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(window->pos(), QPoint(S.x() + S.width() - 268 - 100, S.y() + S.height() / 10));
  EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(window->isVisible());
}

// The window's menu bar comes on top of the 128 high content, which the preview fills.
TEST_F(MainWindowRecordsTest, TheSimpleLayoutKeepsItsContentBelowTheMenuBar) {
  makeConnectedWindow();
  window->menuBar()->addMenu(QStringLiteral("Edit"));
  settle();
  QApplication::processEvents();
  const QSize chrome = window->size() - controller->size();
  ASSERT_GT(chrome.height(), 0);
  controller->showSimpleUI(true);
  settle();
  QApplication::processEvents();
  EXPECT_EQ(controller->size(), QSize(40 + 455, 128));
  EXPECT_EQ(window->maximumSize(), QSize(40 + 455, 128) + chrome);
  EXPECT_EQ(controller->controlView->geometry(), QRect(0, 0, 455, 128));
}

// ---- ROI records and their thumbnails ----

namespace {

orlith::SelvoRect frameRect(double x, double y, double w, double h) {
  orlith::SelvoRect r;
  r.rect = {x, y, w, h};
  return r;
}

// The pixel's alpha at a fraction of the picture.
int alphaAt(const QImage& image, double fx, double fy) {
  return qAlpha(image.pixel(std::min(image.width() - 1, int(fx * image.width())),
                            std::min(image.height() - 1, int(fy * image.height()))));
}

}  // namespace

TEST_F(MainWindowRecordsTest, SavingARecordTakesTheLayoutAtOpeningAndTheViewStateAtConfirm) {
  makeConnectedWindow();
  auto recording = facades->last();
  const int W = manager->cameraFormat().width, H = manager->cameraFormat().height;
  ASSERT_GT(W, 0);
  recording->manualRects = {frameRect(0, 0, W / 4.0, H / 2.0)};
  recording->detectRects = {frameRect(W / 2.0, H / 4.0, W / 4.0, H / 2.0)};
  recording->ignoredRectCount = 1;
  recording->ignoreRects = {{0, 0, W / 10, H / 10}};
  recording->contentOffset = W / 2;
  livePicture = QImage(400, 100, QImage::Format_RGB32);
  livePicture.fill(Qt::darkGreen);
  config.presets.resize(2);
  config.presets[0].name = "Default";
  config.presets[1].name = "Custom";
  defaults->set("CurrentPreset", QStringLiteral("Custom"));
  manager->verticalFov->setValue(VerticalFovMode::down);

  controller->toggleSaveRoiPopup(true);
  settle();
  auto* popup = controller->saveRoi();
  ASSERT_TRUE(popup);
  EXPECT_FALSE(controller->saveRoiView->isHidden());
  EXPECT_EQ(popup->roiPullDownButton->count(), 3);
  ASSERT_EQ(popup->roiRecord.size(), 2u);
  EXPECT_EQ(popup->roiRecord[0], corvane::RectPoint(0, 0, 0.25, 0, 0.25, 0.5, 0, 0.5));
  // Shifted by half a turn: the manual ROI is drawn from 0.5 to 0.75.
  EXPECT_DOUBLE_EQ(popup->thumbnailRoiRecord[0].x1, 0.5);
  EXPECT_EQ(popup->picture().size(), QSize(400, 100));
  EXPECT_GT(alphaAt(popup->overlay(), 0.5, 0.25), 0);
  EXPECT_EQ(alphaAt(popup->overlay(), 0.4, 0.6), 0);

  // The layout changes after opening: the record keeps the one captured.
  recording->manualRects.clear();
  model.mirror->setValue(true);
  popup->roiPullDownButton->setCurrentIndex(1);
  popup->roiOkButton->click();
  settle();
  EXPECT_TRUE(controller->saveRoiView->isHidden());
  EXPECT_EQ(config.roiRecordIndex, 2);
  EXPECT_EQ(config.roiRecord2.size(), 2u);
  EXPECT_TRUE(config.roiRecord1.empty());
  EXPECT_EQ(config.roiRecord2Fov, 3);
  EXPECT_TRUE(config.roiRecord2Mirror);
  EXPECT_DOUBLE_EQ(config.roiRecord2BasePos, double(W / 2) / W);
  EXPECT_EQ(config.roiRecord2ForcusedPreset, 1);
  EXPECT_TRUE(config.roiRecord2CustomPreset.has_value());
  EXPECT_EQ(config.ignoreRoiRecord2.size(), 1u);
  EXPECT_EQ(config.roiRecord2DisplayMode, 10);
  EXPECT_TRUE(std::isfinite(config.roiRecord2180CropY));
  // The picture is kept as a PNG of the record.
  QImage stored(QString::fromStdString(home.path() + "/thumbnail/ROI_Thumbnail_2.png"));
  EXPECT_EQ(stored.size(), QSize(400, 100));

  // The load popup shows the record saved, the frames at the same places.
  livePicture = QImage();
  controller->toggleSaveRoiPopup(false);
  settle();
  EXPECT_EQ(popup->roiPullDownButton->count(), 4);
  EXPECT_EQ(popup->roiPullDownButton->currentIndex(), 2);
  EXPECT_EQ(popup->picture().size(), QSize(400, 100));
  EXPECT_TRUE(popup->thumbnailMirror);
  // Mirrored: the manual ROI (0.5 .. 0.75 unmirrored) now from 0.25 to 0.5.
  EXPECT_GT(alphaAt(popup->overlay(), 0.25, 0.25), 0);
  // Choosing another record only changes the thumbnail; record 1 has no file: the default.
  recording->clearCalls();
  popup->roiPullDownButton->setCurrentIndex(1);
  popup->onClickRoiPullDownButton();
  EXPECT_TRUE(popup->roiRecord.empty());
  EXPECT_EQ(config.roiRecordIndex, 2);
  EXPECT_TRUE(recording->callsStartingWith("ClearAllRect").empty());
  // "none" clears both pictures, and loading it clears the rectangles and the record index.
  popup->roiPullDownButton->setCurrentIndex(0);
  popup->onClickRoiPullDownButton();
  EXPECT_TRUE(popup->picture().isNull());
  popup->roiOkButton->click();
  settle();
  EXPECT_EQ(config.roiRecordIndex, 0);
  EXPECT_EQ(recording->callsStartingWith("ClearAllRect").size(), 1u);
  EXPECT_EQ(recording->callsStartingWith("RemoveIgnoreAreas").size(), 1u);
  EXPECT_TRUE(controller->saveRoiView->isHidden());
}

// The band where the program put it (the middle, at the connection's record restore), or where
// a loaded layout put it, is where a saved layout keeps it: a save and a load leave it there.
TEST_F(MainWindowRecordsTest, ASavedLayoutKeepsTheBandWhereItIs) {
  plugCamera();
  // The manager restores and loads layouts from the window's settings.
  auto env = environment();
  env.config = &config;
  env.viewModel = &model;
  manager = std::make_unique<corvane::CameraManager>(env);
  makeWindowed();
  connect();
  settle();
  auto recording = facades->last();
  deliverFrame(1);
  settle();
  const std::vector<std::string> placed =
      recording->callsStartingWith("SetHeightOffsetFor180Video");
  ASSERT_EQ(placed.size(), 1u);
  auto save = [&](int record) {
    controller->toggleSaveRoiPopup(true);
    settle();
    controller->saveRoi()->roiPullDownButton->setCurrentIndex(record - 1);
    controller->saveRoi()->roiOkButton->click();
    settle();
  };
  auto load = [&](int record) {
    controller->toggleSaveRoiPopup(false);
    settle();
    auto* popup = controller->saveRoi();
    popup->roiPullDownButton->setCurrentIndex(record);
    popup->onClickRoiPullDownButton();
    popup->roiOkButton->click();
    settle();
  };

  save(1);
  EXPECT_DOUBLE_EQ(config.roiRecord1180CropY, 0.5);
  recording->clearCalls();
  load(1);
  EXPECT_EQ(recording->callsStartingWith("SetHeightOffsetFor180Video"), placed);

  // A layout with the band a quarter down, loaded and saved into another slot, keeps it there.
  config.roiRecord2 = {};
  config.roiRecord2Fov = 2;
  config.roiRecord2DisplayMode = 10;
  config.roiRecord2180CropY = 0.25;
  load(2);
  save(3);
  EXPECT_DOUBLE_EQ(config.roiRecord3180CropY, 0.25);
}

// A record saved in one run comes back from the user's "Custom config.json" and its PNG in the
// next: the chooser on it, the same quads and the same picture with its frames.
TEST_F(MainWindowRecordsTest, ARecordComesBackFromTheUserCopyAfterARestart) {
  platform::Bundle bundle;
  bundle.configure(
      {{"CFBundleExecutable", "corvane-studio"}, {"CFBundleShortVersionString", "2.3.0"}},
      "corvane-studio");
  auto makeConfig = [&] {
    corvane::ConfigManager::Environment e;
    e.bundle = &bundle;
    e.defaults = defaults.get();
    e.logger = &rig.logger;
    e.cachesFolder = home.path() + "/caches";
    e.now = [] { return 1700000000.0; };
    auto made = std::make_unique<corvane::ConfigManager>(std::move(e));
    made->loadCustomConfig();
    return made;
  };
  auto windowOver = [&](corvane::ConfigManager& settings) {
    if (!manager) makeManager();
    auto env = actionsEnvironment();
    env.config = &settings;
    makeWindowed(std::move(env));
  };

  std::unique_ptr<corvane::ConfigManager> first = makeConfig();
  first->presets.resize(2);
  first->presets[0].name = "Default";
  first->presets[1].name = "Custom";
  first->presets[1].ev = 1.5;
  defaults->set("CurrentPreset", QStringLiteral("Custom"));
  plugCamera();
  windowOver(*first);
  connect();
  settle();
  auto recording = facades->last();
  const int W = manager->cameraFormat().width, H = manager->cameraFormat().height;
  recording->manualRects = {frameRect(W * 0.6, H * 0.25, W * 0.2, H * 0.5)};
  recording->ignoredRectCount = 1;
  recording->ignoreRects = {{0, 0, W / 10, H / 10}};
  recording->contentOffset = W / 2;
  manager->verticalFov->setValue(VerticalFovMode::top);
  livePicture = QImage(400, 100, QImage::Format_RGB32);
  livePicture.fill(Qt::darkBlue);

  controller->toggleSaveRoiPopup(true);
  settle();
  auto* popup = controller->saveRoi();
  const std::vector<corvane::RectPoint> drawn = popup->thumbnailRoiRecord;
  ASSERT_EQ(drawn.size(), 1u);
  // 0.6 .. 0.8 turned by half the panorama: 0.1 .. 0.3.
  EXPECT_NEAR(drawn[0].x1, 0.1, 1e-9);
  const QImage overlayBefore = popup->overlay();
  popup->roiPullDownButton->setCurrentIndex(2);
  popup->roiOkButton->click();
  settle();
  // The program writes the user's copy when it quits.
  first->saveConfigFile();
  closeWindow();
  ASSERT_TRUE(
      std::filesystem::exists(home.path() + "/caches/corvane-studio/json/Custom config.json"));

  // The next run.
  livePicture = QImage();
  std::unique_ptr<corvane::ConfigManager> second = makeConfig();
  EXPECT_EQ(second->roiRecordIndex, 3);
  ASSERT_EQ(second->roiRecord3.size(), 1u);
  EXPECT_NEAR(second->roiRecord3[0].x1, 0.6, 1e-9);
  EXPECT_NEAR(second->roiRecord3[0].y3, 0.75, 1e-9);
  EXPECT_EQ(second->roiRecord3Fov, 1);
  EXPECT_DOUBLE_EQ(second->roiRecord3BasePos, double(W / 2) / W);
  EXPECT_EQ(second->roiRecord3DisplayMode, 10);
  EXPECT_EQ(second->roiRecord3ForcusedPreset, 1);
  ASSERT_TRUE(second->roiRecord3CustomPreset.has_value());
  EXPECT_EQ(second->roiRecord3CustomPreset->ev, 1.5);
  ASSERT_EQ(second->ignoreRoiRecord3.size(), 1u);
  EXPECT_NEAR(second->ignoreRoiRecord3[0].x2, double(W / 10) / W, 1e-9);
  EXPECT_TRUE(std::isfinite(second->roiRecord3180CropY));

  windowOver(*second);
  controller->toggleSaveRoiPopup(false);
  settle();
  popup = controller->saveRoi();
  EXPECT_EQ(popup->roiPullDownButton->currentIndex(), 3);
  EXPECT_EQ(popup->picture().size(), QSize(400, 100));
  EXPECT_EQ(qBlue(popup->picture().pixel(200, 50)), qBlue(QColor(Qt::darkBlue).rgb()));
  ASSERT_EQ(popup->thumbnailRoiRecord.size(), 1u);
  EXPECT_NEAR(popup->thumbnailRoiRecord[0].x1, drawn[0].x1, 1e-9);
  EXPECT_NEAR(popup->thumbnailRoiRecord[0].x2, drawn[0].x2, 1e-9);
  // The frames at the same places as when the record was saved.
  ASSERT_EQ(popup->overlay().size(), overlayBefore.size());
  for (double fx : {0.05, 0.1, 0.2, 0.3, 0.5, 0.7})
    for (double fy : {0.25, 0.5, 0.75})
      EXPECT_EQ(alphaAt(popup->overlay(), fx, fy) > 0, alphaAt(overlayBefore, fx, fy) > 0)
          << fx << ", " << fy;
  // Loading it applies it.
  recording = facades->last();
  recording->clearCalls();
  popup->roiOkButton->click();
  settle();
  EXPECT_EQ(recording->callsStartingWith("ClearAllRect").size(), 1u);
  EXPECT_EQ(second->roiRecordIndex, 3);
  EXPECT_TRUE(controller->saveRoiView->isHidden());
}

TEST_F(MainWindowRecordsTest, FocusRecordsKeepFixRectanglesGridRecordsLeaveThem) {
  makeConnectedWindow();
  auto recording = facades->last();
  recording->ignoredRectCount = 1;
  recording->ignoreRects = {{0, 0, 100, 100}};
  const corvane::RectPoint fix(0.1, 0.2, 0.3, 0.2, 0.3, 0.6, 0.1, 0.6);
  config.manualFocusRect = {fix};
  config.roiRecord1FixRect = {corvane::RectPoint(0, 0, 1, 0, 1, 1, 0, 1)};
  defaults->set("CurrentPreset", QStringLiteral("Nothing"));
  config.roiRecord1CustomPreset = corvane::PresetModel();
  config.roiRecord1CustomPreset->name = "Custom";
  livePicture = QImage(200, 40, QImage::Format_RGB32);
  livePicture.fill(Qt::black);

  // Any mode but focus and presentation leaves the fix rectangles.
  ASSERT_EQ(manager->displayMode->value(), corvane::Display::compose);
  controller->toggleSaveRoiPopup(true);
  settle();
  controller->saveRoi()->onClickRoiOk();
  // No ROI: an empty list, the view state still stored.
  EXPECT_TRUE(config.roiRecord1.empty());
  EXPECT_EQ(config.roiRecord1Fov, 2);
  EXPECT_FALSE(config.roiRecord1Mirror);
  EXPECT_EQ(config.roiRecord1DisplayMode, 10);
  EXPECT_EQ(config.roiRecord1FixRect.size(), 1u);
  EXPECT_EQ(config.roiRecord1FixRect[0].x2, 1.0);
  EXPECT_EQ(config.roiRecord1ForcusedPreset, 0);
  ASSERT_TRUE(config.roiRecord1CustomPreset);
  EXPECT_EQ(config.roiRecord1CustomPreset->name, "Custom");
  EXPECT_EQ(config.ignoreRoiRecord1.size(), 1u);

  config.manualFocusRect = {fix};
  manager->displayMode->setValue(corvane::Display::focus);
  controller->toggleSaveRoiPopup(true);
  auto* popup = controller->saveRoi();
  // Focus: only the fix rectangle is drawn, 2 wide on a 40-high picture.
  EXPECT_GT(alphaAt(popup->overlay(), 0.1, 0.4), 0);
  EXPECT_EQ(alphaAt(popup->overlay(), 0.0, 0.0), 0);
  popup->onClickRoiOk();
  EXPECT_EQ(config.roiRecord1DisplayMode, 11);
  EXPECT_EQ(config.roiRecord1FixRect, std::vector<corvane::RectPoint>{fix});
  EXPECT_TRUE(config.ignoreRoiRecord1.empty());
}

// A killed program keeps what the button saved: the record is in the user's file at once.
TEST_F(MainWindowRecordsTest, ASavedRecordIsOnDiskBeforeTheProgramQuits) {
  makeConnectedWindow();
  config.configFileURL = home.path() + "/json/Custom config.json";
  ASSERT_FALSE(std::filesystem::exists(*config.configFileURL));
  livePicture = QImage(200, 40, QImage::Format_RGB32);
  livePicture.fill(Qt::black);
  controller->toggleSaveRoiPopup(true);
  settle();
  controller->saveRoi()->onClickRoiOk();
  nlohmann::json saved;
  ASSERT_TRUE(corvane::LenientJson::readFile(*config.configFileURL, saved));
  EXPECT_EQ(corvane::LenientJson::integer(saved, "roi_record1_display_mode"), 10);
  EXPECT_TRUE(saved.contains("roi_record1"));
}

// Each kind of frame in its own colour; in presentation all three kinds show.
TEST_F(MainWindowRecordsTest, ThumbnailFramesTakeTheirColoursByKind) {
  // The boards offer the two modes (a mode without a button falls back to compose).
  config.gridComposeMode = config.focusMode = config.presentationMode = true;
  makeConnectedWindow();
  auto recording = facades->last();
  const int W = manager->cameraFormat().width, H = manager->cameraFormat().height;
  recording->manualRects = {frameRect(W * 0.05, H * 0.2, W * 0.2, H * 0.6)};
  recording->ignoredRectCount = 1;
  recording->ignoreRects = {{int(W * 0.75), int(H * 0.2), int(W * 0.2), int(H * 0.6)}};
  config.focusColor = QColor(0, 200, 0);
  config.ignoreColor = QColor(200, 0, 200);
  config.presentRect = {corvane::RectPoint(0.4, 0.2, 0.6, 0.2, 0.6, 0.8, 0.4, 0.8)};
  livePicture = QImage(400, 100, QImage::Format_RGB32);
  livePicture.fill(Qt::black);
  auto colourAt = [](const QImage& image, double fx, double fy) {
    return QColor(image.pixel(int(fx * image.width()), int(fy * image.height()))).rgb();
  };
  const QRgb tint = corvane::NamedColors::color("tintColor").rgb();

  manager->displayMode->setValue(corvane::Display::presentation);
  settle();
  ASSERT_EQ(manager->displayMode->value(), corvane::Display::presentation);
  controller->toggleSaveRoiPopup(true);
  settle();
  const QImage& overlay = controller->saveRoi()->overlay();
  // The left edges, at mid height: the ROI, the fix rectangle, the ignore area.
  EXPECT_EQ(colourAt(overlay, 0.05, 0.5), tint);
  EXPECT_EQ(colourAt(overlay, 0.4, 0.5), QColor(0, 200, 0).rgb());
  EXPECT_EQ(colourAt(overlay, 0.75, 0.5), QColor(200, 0, 200).rgb());
  controller->toggleSaveRoiPopup(true);  // closes it

  // Focus: only the fix rectangle, in the focus colour.
  config.manualFocusRect = config.presentRect;
  manager->displayMode->setValue(corvane::Display::focus);
  settle();
  ASSERT_EQ(manager->displayMode->value(), corvane::Display::focus);
  controller->toggleSaveRoiPopup(true);
  settle();
  const QImage& focused = controller->saveRoi()->overlay();
  EXPECT_EQ(colourAt(focused, 0.4, 0.5), QColor(0, 200, 0).rgb());
  EXPECT_EQ(qAlpha(focused.pixel(int(0.05 * 400), 50)), 0);
  EXPECT_EQ(qAlpha(focused.pixel(int(0.75 * 400), 50)), 0);
}

TEST_F(MainWindowRecordsTest, AnUnreadableThumbnailShowsTheDefaultPictureWithTheFrames) {
  makeConnectedWindow();
  std::filesystem::create_directories(home.path() + "/thumbnail");
  {
    std::ofstream broken(home.path() + "/thumbnail/ROI_Thumbnail_3.png");
    broken << "not a picture";
  }
  config.roiRecord3 = {corvane::RectPoint(0.6, 0.2, 0.8, 0.2, 0.8, 0.8, 0.6, 0.8)};
  config.roiRecord3BasePos = 0.5;
  config.roiRecordIndex = 3;
  controller->toggleSaveRoiPopup(false);
  settle();
  auto* popup = controller->saveRoi();
  // The default picture, where the program's pictures are at hand, with the frames over it.
  if (!corvane::ImageAssets::named("img_room_default").isNull()) {
    EXPECT_FALSE(popup->picture().isNull());
    EXPECT_FALSE(popup->overlay().isNull());
  }
  ASSERT_EQ(popup->thumbnailRoiRecord.size(), 1u);
  EXPECT_NEAR(popup->thumbnailRoiRecord[0].x1, 0.1, 1e-12);
  EXPECT_NEAR(popup->thumbnailRoiRecord[0].x2, 0.3, 1e-12);
  // The load state's texts; the close button hides the popup and applies nothing.
  EXPECT_EQ(popup->titleLabel->text().toStdString(), corvane::localized("menu_edit_load_roi"));
  EXPECT_EQ(popup->roiOkButton->title().toStdString(), corvane::localized("button_load_name"));
  EXPECT_EQ(popup->roiPullDownButton->itemText(0).toStdString(),
            corvane::localized("menu_configuration_none"));
  facades->last()->clearCalls();
  popup->closeButton->click();
  EXPECT_TRUE(controller->saveRoiView->isHidden());
  EXPECT_TRUE(facades->last()->callsStartingWith("ClearAllRect").empty());
  EXPECT_EQ(config.roiRecordIndex, 3);
}

TEST_F(MainWindowRecordsTest, AThumbnailThatCannotBeWrittenLeavesTheRecordSaved) {
  blockFolder(home.path() + "/thumbnail");
  makeConnectedWindow();
  saveOneBoxLayout();
  EXPECT_TRUE(controller->saveRoiView->isHidden());
  EXPECT_EQ(config.roiRecordIndex, 1);
  EXPECT_EQ(config.roiRecord1.size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(home.path() + "/thumbnail/ROI_Thumbnail_1.png"));
  // The user is told the layout's picture was not written.
  EXPECT_EQ(saveFailures.size(), 1u);
  // The load popup then shows the default picture for it.
  controller->toggleSaveRoiPopup(false);
  settle();
  EXPECT_EQ(controller->saveRoi()->thumbnailRoiRecord.size(), 1u);
}

TEST_F(MainWindowRecordsTest, UpdatePopupFadesInAndOutAndTheAdToggleNeedsAnAd) {
  makeConnectedWindow();
  controller->showUpdatePopup(true);
  EXPECT_FALSE(controller->updateView->isHidden());
  controller->showUpdatePopup(false);
  EXPECT_FALSE(controller->updateView->isHidden());
  advance(300ms);
  EXPECT_TRUE(controller->updateView->isHidden());
  // Asked for again during the fade out, it stays.
  controller->showUpdatePopup(true);
  controller->showUpdatePopup(false);
  controller->showUpdatePopup(true);
  advance(300ms);
  EXPECT_FALSE(controller->updateView->isHidden());
  // An update shown from the simple layout brings the normal one back.
  controller->showSimpleUI(true);
  controller->showUpdatePopup(true);
  EXPECT_FALSE(controller->isSimpleMode());

  // The advertisement popup toggles only for an ad whose type shows (below 4).
  ASSERT_TRUE(controller->advertisement());
  controller->toggleAdvertisementPopup();
  EXPECT_TRUE(controller->advertisementView->isHidden());
  currentAd = corvane::AdDataModel();
  currentAd->entryType = 4;
  controller->toggleAdvertisementPopup();
  EXPECT_TRUE(controller->advertisementView->isHidden());
  currentAd->entryType = 3;
  controller->toggleAdvertisementPopup();
  EXPECT_FALSE(controller->advertisementView->isHidden());
  controller->toggleAdvertisementPopup();
  EXPECT_TRUE(controller->advertisementView->isHidden());
  // The update controller's advertisement action is the toggle.
  ASSERT_TRUE(controller->updateController->adAction);
  controller->updateController->adAction();
  EXPECT_FALSE(controller->advertisementView->isHidden());
}

// A save whose record cannot be written (its folder's place taken by a file, as a full disk
// stops it) is not shown as done: the user is told it was not saved, and why.
TEST_F(MainWindowRecordsTest, AFailedLayoutSaveSaysSoAndWhy) {
  blockFolder(home.path() + "/json");
  makeConnectedWindow();
  config.configFileURL = home.path() + "/json/Custom config.json";
  saveOneBoxLayout();
  ASSERT_EQ(saveFailures.size(), 1u);
  const std::string told = saveFailures[0].toStdString();
  const std::string notSaved = corvane::localized("alert_layout_not_saved");
  EXPECT_EQ(told.rfind(notSaved.substr(0, notSaved.find("%1")), 0), 0u) << told;
  EXPECT_NE(told.find("Not a directory"), std::string::npos) << told;
  // The file the user knows, not the save's hidden temporary one.
  EXPECT_NE(told.find("cannot write " + *config.configFileURL + ": "), std::string::npos) << told;
  EXPECT_EQ(told.find(".save-"), std::string::npos) << told;
  EXPECT_FALSE(std::filesystem::exists(*config.configFileURL));

  // Written, it says nothing.
  std::filesystem::remove(home.path() + "/json");
  saveFailures.clear();
  saveOneBoxLayout();
  EXPECT_TRUE(saveFailures.empty());
  EXPECT_TRUE(std::filesystem::exists(*config.configFileURL));
}

// A detected box lying on a manual one (the same person) is stored once.
TEST_F(MainWindowRecordsTest, ASavedLayoutHoldsOneBoxPerPlace) {
  makeConnectedWindow();
  auto recording = facades->last();
  recording->manualRects = {frameRect(100, 100, 300, 300), frameRect(1000, 100, 300, 300)};
  recording->detectRects = {frameRect(104, 98, 300, 300), frameRect(2000, 100, 300, 300)};
  controller->toggleSaveRoiPopup(true);
  settle();
  controller->saveRoi()->roiOkButton->click();
  settle();
  ASSERT_EQ(config.roiRecord1.size(), 3u);
  const int W = manager->cameraFormat().width;
  EXPECT_DOUBLE_EQ(config.roiRecord1[0].x1, 100.0 / W);
  EXPECT_DOUBLE_EQ(config.roiRecord1[2].x1, 2000.0 / W);
}

// A box drawn when the picture holds all it can draw: a note over the picture and a log line.
TEST_F(MainWindowRecordsTest, ADragThePictureHasNoRoomForSaysSo) {
  makeConnectedWindow();
  facades->last()->setAddRoom(0);
  corvane::RoiEditor::Context& context = controller->roiEditor.context;
  context.connected = true;
  context.frameWidth = manager->cameraFormat().width;
  context.frameHeight = manager->cameraFormat().height;
  controller->roiEditor.mouseDown({100, 100});
  controller->roiEditor.mouseDragged({600, 400});
  controller->roiEditor.mouseUp({600, 400});
  auto* note = controller->findChild<QLabel*>(QStringLiteral("pictureNote"));
  ASSERT_NE(note, nullptr);
  EXPECT_TRUE(note->isVisible());
  EXPECT_NE(note->text().indexOf(QString::number(orlith::OutlineBudget::kOutlines)), -1);
  EXPECT_TRUE(std::any_of(rig.logLines.begin(), rig.logLines.end(), [](const std::string& l) {
    return l.find("box not added: the picture shows 16") != std::string::npos;
  }));
  // A layout that did not fit says what it left out, once.
  note->hide();
  manager->recordBoxesLeftOut = 14;
  manager->recordIgnoreAreasLeftOut = 0;
  manager->loadRecord->setValue(!manager->loadRecord->value());
  settle();
  EXPECT_TRUE(note->isVisible());
  EXPECT_NE(note->text().indexOf(QStringLiteral("14")), -1);
  EXPECT_EQ(manager->recordBoxesLeftOut, 0);
}

}  // namespace
