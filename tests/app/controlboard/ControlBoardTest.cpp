#include <QAbstractAnimation>
#include <QComboBox>
#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "../widgets/WidgetTestSupport.h"
#include "BoardFixture.h"
#include "Bundle.h"
#include "SmallTmpfs.h"
#include "controlboard/PictureControlValues.h"
#include "main/RoiRecordRules.h"
#include "render/EffectView.h"
#include "render/MetalContext.h"
#include "widgets/BreathingLightView.h"
#include "widgets/CustomBalanceSlider.h"
#include "widgets/CustomBox.h"
#include "widgets/CustomSwitch.h"
#include "widgets/CustomView.h"
#include "widgets/ImageView.h"
#include "widgets/NamedColors.h"
#include "widgets/SliderGeometry.h"
#include "widgets/ThumbView.h"

using corvane::ConnectMode;
using corvane::CustomButton;
using corvane::UVCMode;
using namespace std::chrono_literals;

namespace {

bool pressReturn(QLineEdit* field) {
  QKeyEvent key(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  return QApplication::sendEvent(field, &key) && key.isAccepted();
}

// A drag of a slider's thumb to x, as the pointer does it: press, two moves, release.
void drag(corvane::CustomBalanceSlider* slider, double x, bool release) {
  const QPointF start = QRectF(slider->thumbView()->geometry()).center();
  auto send = [slider](QEvent::Type type, QPointF pos, Qt::MouseButtons buttons) {
    QMouseEvent e(type, pos, slider->mapToGlobal(pos), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(slider, &e);
  };
  send(QEvent::MouseButtonPress, start, Qt::LeftButton);
  send(QEvent::MouseMove, start + QPointF(1, 0), Qt::LeftButton);
  send(QEvent::MouseMove, QPointF(x, start.y()), Qt::LeftButton);
  if (release) send(QEvent::MouseButtonRelease, QPointF(x, start.y()), Qt::NoButton);
}

double alphaOf(QWidget* w) {
  const QVariant v = w->property("alphaValue");
  return v.isValid() ? v.toDouble() : 1.0;
}

}  // namespace

TEST_F(BoardTest, ModeButtonsFollowTheCameraAndPressesChangeTheMode) {
  connectCamera();
  ASSERT_TRUE(manager->is360Camera());
  makeBoard();
  EXPECT_EQ(board->displayModeArray(), (std::vector<int>{10, 11, 12, 14, 16}));
  ASSERT_EQ(tagsOf(board->displayModeButtons()), (std::vector<int>{10, 11, 12, 14, 16}));
  EXPECT_EQ(board->displayStackView(0)->count(), 4);
  EXPECT_EQ(board->displayStackView(1)->count(), 1);
  EXPECT_FALSE(board->displayStackViews[2]->isVisibleTo(board.get()));
  EXPECT_EQ(board->displayModeButtons()[0]->width(), 56);

  withTag(board->displayModeButtons(), 12)->click();
  EXPECT_EQ(manager->displayMode->value(), corvane::Display::grid);
  settle();
  EXPECT_TRUE(withTag(board->displayModeButtons(), 12)->isSelected);
  EXPECT_FALSE(withTag(board->displayModeButtons(), 10)->isSelected);
  // The camera manager applied it to the analysis framework.
  EXPECT_FALSE(facades->last()->callsStartingWith("setDisplayMode 12").empty());

  // A mode set elsewhere is shown.
  manager->displayMode->setValue(corvane::Display::focus);
  settle();
  EXPECT_TRUE(withTag(board->displayModeButtons(), 11)->isSelected);
  board->show();
  widgettest::grabTo(board.get(), QStringLiteral("s22-control-board"));
}

TEST_F(BoardTest, DisconnectedButtonsAreDimmedAndPressesChangeNothing) {
  plugCamera();
  makeManager();
  makeBoard();
  ASSERT_NE(manager->connectMode->value(), ConnectMode::connected);
  manager->displayMode->setValue(corvane::Display::compose);
  settle();
  for (CustomButton* b : board->displayModeButtons()) {
    EXPECT_DOUBLE_EQ(b->alphaValue(), 0.3);
    EXPECT_FALSE(b->isSelected);
  }
  CustomButton* grid = withTag(board->displayModeButtons(), 12);
  grid->click();
  settle();
  EXPECT_EQ(manager->displayMode->value(), corvane::Display::compose);
  EXPECT_FALSE(grid->isSelected);
  EXPECT_FALSE(grid->state());
}

TEST_F(BoardTest, CurrentModeWithoutAButtonFallsBackToComposeOnce) {
  connectCamera();
  config->gridComposeMode = false;
  config->groupComposeMode = true;  // two groups stands for compose; compose has no button
  makeBoard();
  manager->displayMode->setValue(corvane::Display::presentation);
  // Draining the main queue ends: the fallback does not bring itself back without end.
  settle();
  EXPECT_EQ(platform::MainQueue::shared().pendingCount(), 0u);
  EXPECT_EQ(manager->displayMode->value(), corvane::Display::compose);

  // The two-groups button selects two groups and stays marked.
  withTag(board->displayModeButtons(), 17)->click();
  settle();
  EXPECT_EQ(manager->displayMode->value(), corvane::Display::twoGroup);
  EXPECT_TRUE(withTag(board->displayModeButtons(), 17)->isSelected);
}

TEST_F(BoardTest, SharedSpeakerButtonTogglesBetweenTheSpeakerModes) {
  connectCamera();
  config->singleSpeakerMode = true;
  makeBoard();
  CustomButton* speaker = withTag(board->displayModeButtons(), 14);
  ASSERT_NE(speaker, nullptr);
  EXPECT_EQ(withTag(board->displayModeButtons(), 15), nullptr);
  speaker->click();
  settle();
  EXPECT_EQ(manager->displayMode->value(), corvane::Display::speaker);
  speaker->click();
  settle();
  EXPECT_EQ(manager->displayMode->value(), corvane::Display::singleSpeaker);
  EXPECT_EQ(speaker->tag, 15);
  EXPECT_TRUE(speaker->isSelected);
  speaker->click();
  settle();
  EXPECT_EQ(manager->displayMode->value(), corvane::Display::speaker);
  EXPECT_EQ(speaker->tag, 14);
}

TEST_F(BoardTest, OneRowAModeAndAtMostFiveRows) {
  connectCamera();
  config->displayModesPerRow = 1;
  config->presentationMode = config->panoramaMode = true;
  makeBoard();
  ASSERT_EQ(board->displayModeButtons().size(), 7u);
  for (int r = 0; r < 5; ++r) EXPECT_EQ(board->displayStackView(r)->count(), 1);
  EXPECT_EQ(board->displayModeButtons()[0]->width(), 60);
  EXPECT_FALSE(board->displayModeButtons()[6]->isVisibleTo(board.get()));
}

TEST_F(BoardTest, DefaultModeAndAudioFit) {
  connectCamera();
  config->defaultDisplayMode = 2;  // grid
  makeBoard();
  board->selectDefaultDisplayMode();
  EXPECT_EQ(manager->displayMode->value(), corvane::Display::grid);
  config->defaultDisplayMode = 3;  // presentation, not offered: the first offered mode
  board->selectDefaultDisplayMode();
  EXPECT_EQ(manager->displayMode->value(), corvane::Display::compose);

  config->audioFitMode = true;
  board->initlayout();
  EXPECT_EQ(withTag(board->displayModeButtons(), 91), nullptr);
  board->shouldAudioFit = true;
  board->initlayout();
  EXPECT_NE(withTag(board->displayModeButtons(), 91), nullptr);
}

TEST_F(BoardTest, PanelsShowOnConnectionAndFoldsStayWhileDisconnected) {
  plugCamera();
  makeManager();
  makeBoard();
  const bool before = board->controlBox->isVisibleTo(board.get());
  board->onClickControlMoreButton();
  EXPECT_FALSE(board->controlMoreButton->isSelected);
  EXPECT_EQ(board->controlBox->isVisibleTo(board.get()), before);
  EXPECT_FALSE(board->navigatorBox->isVisibleTo(board.get()));
  connect();
  settle();
  EXPECT_TRUE(board->controlBox->isVisibleTo(board.get()));
  EXPECT_TRUE(board->navigatorBox->isVisibleTo(board.get()));
  EXPECT_TRUE(board->effectBox->isVisibleTo(board.get()));

  board->onClickDisplayMoreButton();
  EXPECT_TRUE(board->displayMoreButton->isSelected);
  EXPECT_FALSE(board->displayModeBox->isVisibleTo(board.get()));
  advance(100ms);
  EXPECT_GT(viewModel.frame->value().height(), 0);

  // Split: the navigator panel goes to its own window.
  board->onClickSplitButton();
  settle();
  EXPECT_TRUE(viewModel.splitWindow->value());
  EXPECT_FALSE(board->navigatorBox->isVisibleTo(board.get()));
  EXPECT_TRUE(board->navigatorMoreButton->isSelected);

  manager->stopConnection();
  settle();
  ASSERT_NE(manager->connectMode->value(), ConnectMode::connected);
  board->onClickDisplayMoreButton();
  EXPECT_FALSE(board->displayMoreButton->isSelected);
  EXPECT_FALSE(board->displayModeBox->isVisibleTo(board.get())) << "the fold stays as it was";
}

TEST_F(BoardTest, SwitchesWriteTheObservablesAndFollowThem) {
  connectCamera();
  makeBoard();
  board->mirrorSwitch->setOn(true, true);
  board->onSwitchMirror();
  settle();
  EXPECT_TRUE(viewModel.mirror->value());
  EXPECT_TRUE(metal.mirror.load());

  manager->isAutoDetect->setValue(true);
  settle();
  EXPECT_TRUE(board->autoDetectSwitch->on());
  EXPECT_TRUE(board->autoTrackingButton->buttonEnabled());
  board->onClickAutoTracking();
  settle();
  EXPECT_TRUE(manager->isAutoTracking->value());
  EXPECT_TRUE(board->autoTrackingButton->isSelected);

  const bool normal = manager->drawNormalRect->value();
  board->roiButtons[0]->click();
  EXPECT_EQ(manager->drawNormalRect->value(), !normal);
  board->onClickIgnoreButton();
  settle();
  EXPECT_EQ(viewModel.editMode->value(), corvane::EditMode::ignore);
}

TEST_F(BoardTest, ShowIgnoreButtonOnlyWithIgnoreAreas) {
  connectCamera();
  makeBoard();
  EXPECT_TRUE(board->isIgnoreShow());
  EXPECT_FALSE(board->ignoreShowButton->isVisibleTo(board.get()));
  facades->last()->ignoredRectCount = 2;
  viewModel.editMode->setValue(corvane::EditMode::none);
  settle();
  EXPECT_TRUE(board->ignoreShowButton->isVisibleTo(board.get()));
  EXPECT_TRUE(board->ignoreShowButton->isSelected);
  board->onClickIgnoreShowButton();
  settle();
  EXPECT_FALSE(board->isIgnoreShow());
  EXPECT_FALSE(manager->drawIgnoreRect->value());
  EXPECT_FALSE(board->roiButtons[2]->isSelected);
  // The ignore-area outline toggle and "Show" are one switch: neither stays lit while the other
  // hid the areas.
  board->roiButtons[2]->click();
  settle();
  EXPECT_TRUE(manager->drawIgnoreRect->value());
  EXPECT_TRUE(board->ignoreShowButton->isSelected);
  EXPECT_EQ(board->ignoreShowButton->toolTip().toStdString(), "control_panel_roi_ignore_hide_tip");
  board->roiButtons[2]->click();
  settle();
  EXPECT_FALSE(board->ignoreShowButton->isSelected);
  EXPECT_FALSE(board->isIgnoreShow());
  EXPECT_EQ(board->ignoreShowButton->toolTip().toStdString(), "control_panel_roi_ignore_tip");
  board->onClickIgnoreShowButton();
  settle();
  EXPECT_TRUE(board->roiButtons[2]->isSelected);
  EXPECT_TRUE(board->ignoreShowButton->isSelected);
  facades->last()->ignoredRectCount = 0;
  viewModel.editMode->setValue(corvane::EditMode::none);
  settle();
  EXPECT_FALSE(board->ignoreShowButton->isVisibleTo(board.get()));
  EXPECT_FALSE(board->ignoreShowButton->isSelected);
}

TEST_F(BoardTest, FaceScanShowsAtLeastOneSecondAndFixedModesEndIt) {
  connectCamera();
  config->enableNewDetectLayout = true;
  makeBoard();
  EXPECT_TRUE(board->autoDetectView1->isVisibleTo(board.get()));
  board->faceAutoDetectButton->click();
  settle();
  ASSERT_NE(board->autoDetectAnimationLayer(), nullptr);
  EXPECT_FALSE(board->faceAutoDetectButton->buttonEnabled());
  // The detection ends after 0.2 s: the scan stays until a second has passed.
  advance(200ms);
  manager->isFaceAutoDetect->setValue(false);
  settle();
  EXPECT_NE(board->autoDetectAnimationLayer(), nullptr);
  advance(700ms);
  EXPECT_NE(board->autoDetectAnimationLayer(), nullptr);
  advance(400ms);
  EXPECT_EQ(board->autoDetectAnimationLayer(), nullptr);
  EXPECT_TRUE(board->faceAutoDetectButton->buttonEnabled());
  EXPECT_FALSE(board->faceAutoDetectButton->isSelected);

  // Tracking restarts the scan; focus ends it at once and disables both face buttons.
  board->onClickFaceAutoTrack();
  settle();
  ASSERT_NE(board->autoDetectAnimationLayer(), nullptr);
  manager->displayMode->setValue(corvane::Display::focus);
  settle();
  EXPECT_EQ(board->autoDetectAnimationLayer(), nullptr);
  EXPECT_FALSE(board->faceAutoDetectButton->buttonEnabled());
  EXPECT_FALSE(board->faceAutoTrackButton->buttonEnabled());
  EXPECT_DOUBLE_EQ(alphaOf(board->ignoreButtonView), 0.3);
  EXPECT_FALSE(board->autoDetectSwitch->on());
  manager->displayMode->setValue(corvane::Display::grid);
  settle();
  EXPECT_NE(board->autoDetectAnimationLayer(), nullptr) << "tracking is still on";
  manager->displayMode->setValue(corvane::Display::topDown);
  settle();
  EXPECT_EQ(board->autoDetectAnimationLayer(), nullptr);
}

// The scan's second is measured on the monotonic clock: a wall clock put back an hour or on a
// day during a scan (a change of the system time, the monotonic clock untouched) neither keeps
// the scan on screen for the hour nor ends it before its second.
TEST_F(BoardTest, FaceScanKeepsItsSecondWhateverTheWallClockDoes) {
  connectCamera();
  config->enableNewDetectLayout = true;
  makeBoard();
  for (auto jump : {-std::chrono::hours(1), std::chrono::hours(24)}) {
    SCOPED_TRACE(std::chrono::duration_cast<std::chrono::hours>(jump).count());
    board->faceAutoDetectButton->click();
    settle();
    ASSERT_NE(board->autoDetectAnimationLayer(), nullptr);
    advance(200ms);
    clock.setWallTime(clock.wallNow() + jump);
    manager->isFaceAutoDetect->setValue(false);
    settle();
    EXPECT_NE(board->autoDetectAnimationLayer(), nullptr) << "ended before its second";
    advance(1s);
    EXPECT_EQ(board->autoDetectAnimationLayer(), nullptr) << "still on screen after its second";
    EXPECT_TRUE(board->faceAutoDetectButton->buttonEnabled());
  }
}

TEST_F(BoardTest, DetectionFlashesTheLamp) {
  connectCamera();
  makeBoard();
  board->show();
  ASSERT_NE(board->breathingLightView->imageView_2(), nullptr);
  manager->detectEvent->setValue(1.0);
  settle();
  auto* group = board->breathingLightView->imageView_2()->findChild<QAbstractAnimation*>();
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->totalDuration(), 500);
}

// ---- picture controls and presets ----

TEST_F(BoardTest, ValuesShowClampedAndTheThumbFollows) {
  connectCamera();
  makeBoard();
  EXPECT_DOUBLE_EQ(board->setEV(7.5), 1.0);
  EXPECT_EQ(board->evTextField->text(), "2");
  const QRectF track = corvane::SliderGeometry::track(
      board->evSlider->width(), board->evSlider->height(), board->evSlider->thumbSize,
      board->evSlider->backgroundViewHeight);
  EXPECT_NEAR(board->evSlider->thumbCentre(), track.right(), 1.0);
  EXPECT_DOUBLE_EQ(board->setLighting(180), 1.0);
  EXPECT_EQ(board->lightingTextField->text(), "100");
  EXPECT_DOUBLE_EQ(board->setLighting(-20), 0.0);
  EXPECT_EQ(board->lightingTextField->text(), "0");
  EXPECT_DOUBLE_EQ(board->setGamma(250), 0.75);
  EXPECT_EQ(board->gammaTextField->text(), "250");
}

TEST_F(BoardTest, DraggingOnAFactoryPresetSwitchesToTheCustomPreset) {
  connectCamera();
  makeBoard();
  board->pullDownButton->setCurrentIndex(0);
  usbCamera->clearRequests();
  const double x = board->gammaSlider->width() * 0.8;
  drag(board->gammaSlider, x, false);
  EXPECT_EQ(board->pullDownButton->currentText(), "Custom");
  drag(board->gammaSlider, x, true);
  settle();
  EXPECT_EQ(writtenSelectors(), (std::vector<uint8_t>{kGamma}));
  EXPECT_EQ(defaults->string("CurrentPreset"), "Custom");
  EXPECT_EQ(config->presets[2].gamma, board->gammaTextField->text().toLongLong());
}

TEST_F(BoardTest, PresetWritesReachTheCameraInOrderAtTheirTimes) {
  connectCamera();
  makeBoard();
  // The board, made with the camera connected, first applies the preset it starts with.
  advance(1s);
  const int flicker = usbCamera->control(kFlicker).cur, gamma = usbCamera->control(kGamma).cur;
  ASSERT_NE(flicker, 2);
  ASSERT_NE(gamma, 250);
  usbCamera->clearRequests();
  board->pullDownButton->setCurrentIndex(1);
  emit board->pullDownButton->activated(1);
  EXPECT_EQ(defaults->string("CurrentPreset"), "Bright");
  advance(0ms);
  EXPECT_EQ(usbCamera->control(kBrightness).cur, 32);  // ev 1 of -2..2: 0.75 of -64..64
  EXPECT_EQ(usbCamera->control(kFlicker).cur, flicker);
  advance(149ms);
  EXPECT_EQ(usbCamera->control(kFlicker).cur, flicker);
  advance(1ms);
  EXPECT_EQ(usbCamera->control(kFlicker).cur, 2);
  EXPECT_EQ(usbCamera->control(kGamma).cur, gamma);
  advance(599ms);
  EXPECT_EQ(usbCamera->control(kGamma).cur, gamma);
  advance(1ms);
  EXPECT_EQ(usbCamera->control(kGamma).cur, 250);
  EXPECT_EQ(writtenSelectors(), (std::vector<uint8_t>{kBrightness, kFlicker, kGamma}));
  EXPECT_FLOAT_EQ(metal.brightness.load(), 0.65f);
  EXPECT_EQ(metal.denoise.load(), 3.0f);  // nr 50 of 0..100: level 3 of 0..6
  EXPECT_FALSE(board->cameraEffectStackView->isVisibleTo(board.get()));

  // A board gone before its delayed steps leaves them undone.
  board->pullDownButton->setCurrentIndex(0);
  emit board->pullDownButton->activated(0);
  board.reset();
  advance(1s);
  EXPECT_EQ(usbCamera->control(kGamma).cur, 250);
}

TEST_F(BoardTest, NoiseReductionIsOnOneScaleFromEveryPath) {
  connectCamera();
  makeBoard();
  board->nrSliderCompleted(0.5f);
  EXPECT_EQ(metal.denoise.load(), 3.0f);
  metal.denoise = -1;
  board->nrTextField->setText("50");
  EXPECT_TRUE(pressReturn(board->nrTextField));
  EXPECT_EQ(metal.denoise.load(), 3.0f);
  metal.denoise = -1;
  viewModel.currentPresetIndex->setValue(1);  // nr 50
  settle();
  EXPECT_EQ(metal.denoise.load(), 3.0f);
  board->onClickResetButton();
  const float reset = metal.denoise.load();
  EXPECT_EQ(reset, std::round(reset));
  EXPECT_GE(reset, 0.0f);
  EXPECT_LE(reset, 6.0f);
}

TEST_F(BoardTest, ResetShowsTheDefaultsAndTheCameraManagerPutsTheCameraBack) {
  connectCamera();
  makeBoard();
  board->setLighting(90);
  const int gammaDefault = usbCamera->control(kGamma).cur;
  manager->enqueueUVCEvent(corvane::UVCMode::gamma, 0.9f);
  settle();
  ASSERT_NE(usbCamera->control(kGamma).cur, gammaDefault);
  usbCamera->clearRequests();
  board->onClickResetButton();
  // The board queues no event of its own ...
  EXPECT_TRUE(manager->uvcQueue().empty());
  const corvane::DefPreset def = manager->defPreset();
  EXPECT_EQ(board->gammaTextField->text(), QString::number(qint64(def.gamma)));
  EXPECT_EQ(board->lightingTextField->text(), QString::number(qint64(def.lighting)));
  EXPECT_EQ(board->flickerMode(), corvane::flickerModeFromRaw(def.flicker));
  // The default lighting is the neutral one: the reset leaves the picture as the camera makes it.
  EXPECT_FLOAT_EQ(metal.brightness.load(), 0.5f);
  // ... the camera manager's reset puts the changed control back, in its own time.
  settle();
  advance(1s);
  const auto written = writtenSelectors();
  EXPECT_NE(std::find(written.begin(), written.end(), kGamma), written.end());
  EXPECT_EQ(usbCamera->control(kGamma).cur, gammaDefault);
}

namespace {

// The user's choice in the pull-down, as a click on an item makes it; the delayed steps run.
void choosePreset(corvane::ControlBoardController& board, int index) {
  board.pullDownButton->setCurrentIndex(index);
  emit board.pullDownButton->activated(index);
}

// Lighting 100, noise reduction 30 and 60 Hz on the custom preset (index 2), as typed and clicked.
void changeCustomControls(corvane::ControlBoardController& board) {
  choosePreset(board, 2);
  board.lightingTextField->setText("100");
  ASSERT_TRUE(pressReturn(board.lightingTextField));
  board.nrTextField->setText("30");
  ASSERT_TRUE(pressReturn(board.nrTextField));
  board.flicker60Button->click();
}

}  // namespace

TEST_F(BoardTest, ResetValuesBecomeTheCustomPresetsAndAreShownWhenItIsChosenAgain) {
  connectCamera();
  makeBoard();
  changeCustomControls(*board);
  advance(1s);
  ASSERT_EQ(config->presets[2].lighting, 100);
  ASSERT_EQ(config->presets[2].nr, 30);

  board->onClickResetButton();
  advance(1s);
  const corvane::DefPreset def = manager->defPreset();
  const corvane::PresetModel& custom = config->presets[2];
  EXPECT_EQ(custom.lighting, int64_t(def.lighting));
  EXPECT_EQ(custom.nr, int64_t(def.nr));
  EXPECT_EQ(custom.flickr, def.flicker);

  // Another preset, then the custom one again: the reset values, not the earlier ones.
  choosePreset(*board, 1);
  advance(1s);
  ASSERT_EQ(board->lightingTextField->text(), "65");
  choosePreset(*board, 2);
  advance(1s);
  EXPECT_EQ(board->lightingTextField->text(), QString::number(qint64(def.lighting)));
  EXPECT_EQ(board->nrTextField->text(), QString::number(qint64(def.nr)));
  EXPECT_EQ(board->flickerMode(), corvane::flickerModeFromRaw(def.flicker));
  EXPECT_FLOAT_EQ(metal.brightness.load(), 0.5f);

  // A layout saved now stores the reset values as its custom preset.
  const corvane::RoiRecordRules::PresetChoice saved = corvane::RoiRecordRules::preset(
      defaults->object(QStringLiteral("CurrentPreset")), config->presets);
  EXPECT_EQ(saved.index, 2);
  ASSERT_TRUE(saved.custom);
  EXPECT_EQ(saved.custom->lighting, int64_t(def.lighting));
  EXPECT_EQ(saved.custom->nr, int64_t(def.nr));
}

// The next start reads the presets file the end of this one wrote, with the demo clip standing in
// for the camera: no camera control is offered, and still every field and the anti-flicker
// choice show the custom preset.
TEST_F(BoardTest, AfterARestartTheCustomPresetShowsItsValuesWithoutACamera) {
  platform::Bundle bundle;
  bundle.configure({{"CFBundleExecutable", "corvane-studio"}}, "corvane-studio");
  auto fileConfig = [&] {
    corvane::ConfigManager::Environment env;
    env.bundle = &bundle;
    env.defaults = defaults.get();
    env.cachesFolder = home.path() + "/caches";
    return std::make_unique<corvane::ConfigManager>(env);
  };
  connectCamera();
  std::vector<corvane::PresetModel> shipped = config->presets;
  config = fileConfig();
  config->presets = shipped;
  config->customPresetTitle = "Custom";
  makeBoard();
  changeCustomControls(*board);
  advance(1s);
  board->onClickResetButton();
  advance(1s);
  const corvane::DefPreset def = manager->defPreset();
  config->savePresetFile();  // what the end of the program does

  board.reset();
  settle();
  usbCamera->unplug();
  v4l2.unplug();
  makeManager();
  config = fileConfig();
  config->loadPresets();
  ASSERT_EQ(config->presets.size(), 3u);
  ASSERT_FALSE(manager->brightness().enable);
  // The file player's source connects as a camera would, before the main window and its board
  // are made.
  manager->connectMode->setValue(ConnectMode::connected);
  settle();
  corvane::ControlBoardViewModel nextStart;
  auto env = boardEnvironment();
  env.viewModel = &nextStart;
  board = std::make_unique<corvane::ControlBoardController>(env);
  settle();
  advance(1s);

  EXPECT_EQ(board->pullDownButton->currentText(), "Custom");
  EXPECT_TRUE(board->cameraEffectStackView->isVisibleTo(board.get()));
  EXPECT_EQ(board->lightingTextField->text(), QString::number(qint64(def.lighting)));
  EXPECT_EQ(board->nrTextField->text(), QString::number(qint64(def.nr)));
  EXPECT_FALSE(board->evTextField->text().isEmpty());
  EXPECT_FALSE(board->gammaTextField->text().isEmpty());
  EXPECT_EQ(board->flickerMode(), corvane::flickerModeFromRaw(def.flicker));
  const std::array<CustomButton*, 3> flickers{board->flickerAutoButton, board->flicker50Button,
                                              board->flicker60Button};
  EXPECT_EQ(std::count_if(flickers.begin(), flickers.end(),
                          [](CustomButton* b) { return b->isSelected; }),
            1);
  EXPECT_TRUE(flickers[size_t(def.flicker)]->isSelected);
  EXPECT_FLOAT_EQ(metal.brightness.load(), 0.5f);

  // A change without the camera keeps the camera's gamma in the presets: the field shows none.
  board->lightingTextField->setText("60");
  ASSERT_TRUE(pressReturn(board->lightingTextField));
  EXPECT_EQ(config->presets[2].lighting, 60);
  for (const corvane::PresetModel& p : config->presets) EXPECT_EQ(p.gamma, int64_t(def.gamma));
}

namespace {

// A frame with every grey level and some colour: a luma ramp along x, chroma varying with y.
platform::PixelBufferRef rampFrame() {
  auto frame = platform::PixelBuffer::create(256, 64, platform::PixelFormat::NV12FullRange);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 256; ++x) frame->baseAddress(0)[y * frame->bytesPerRow(0) + x] = uint8_t(x);
  for (int y = 0; y < 32; ++y)
    for (int c = 0; c < 128; ++c) {
      frame->baseAddress(1)[y * frame->bytesPerRow(1) + 2 * c] = uint8_t(96 + 2 * y);
      frame->baseAddress(1)[y * frame->bytesPerRow(1) + 2 * c + 1] = uint8_t(160 - 2 * y);
    }
  return frame;
}

// The effect pass's picture of `frame` with the values of `metal` (its effect view made), as
// BGRA bytes.
std::vector<uint8_t> effectPicture(corvane::MetalManager& metal,
                                   const platform::PixelBufferRef& frame) {
  metal.notifyFrame(frame);
  auto texture = metal.effectTexture();
  std::vector<uint8_t> bytes;
  if (!texture) return bytes;
  for (int y = 0; y < texture->height(); ++y)
    bytes.insert(bytes.end(), texture->row(y), texture->row(y) + size_t(texture->width()) * 4);
  return bytes;
}

double meanOf(const std::vector<uint8_t>& bgra) {
  double sum = 0;
  for (size_t i = 0; i < bgra.size(); i += 4) sum += bgra[i] + bgra[i + 1] + bgra[i + 2];
  return bgra.empty() ? 0 : sum / (3.0 * double(bgra.size() / 4));
}

}  // namespace

// The shipped presets through the board into the effect pass: the neutral one leaves the camera's
// picture as it is, and presets differ where their values differ.
TEST_F(BoardTest, PresetsLookAsTheirValuesSay) {
  config->presets = {preset("Standard", "Standard", 0, 0, 50, 50, 30),
                     preset("Bright", "Bright", 0.5, 0, 65, 45, 30),
                     preset("Vivid", "Vivid", 0, 0, 50, 50, 30)};
  connectCamera();
  makeBoard();
  const auto frame = rampFrame();
  corvane::MetalContext context(2);
  corvane::EffectView view({}, metal, context);
  // What the pass makes of the frame with nothing applied: its plain conversion.
  corvane::MetalManager plain;
  corvane::EffectView plainView({}, plain, context);
  const std::vector<uint8_t> input = effectPicture(plain, frame);
  ASSERT_FALSE(input.empty());

  auto choose = [&](int index) {
    board->pullDownButton->setCurrentIndex(index);
    emit board->pullDownButton->activated(index);
    advance(1s);
    return effectPicture(metal, frame);
  };
  const std::vector<uint8_t> standard = choose(0);
  EXPECT_EQ(standard, input) << "the neutral preset changes the picture";
  const std::vector<uint8_t> bright = choose(1);
  EXPECT_GT(meanOf(bright), meanOf(input) + 8) << "Bright is not brighter";
  // Brighter without washing out: black stays black, white stays white.
  EXPECT_EQ(bright[4 * (10 * 256 + 0) + 1], standard[4 * (10 * 256 + 0) + 1]);
  EXPECT_EQ(bright[4 * (10 * 256 + 255) + 1], standard[4 * (10 * 256 + 255) + 1]);
  // Vivid's picture values are Standard's: the same picture.
  EXPECT_EQ(choose(2), standard);
}

TEST_F(BoardTest, FlickerButtonsQueueTheChoice) {
  connectCamera();
  makeBoard();
  board->pullDownButton->setCurrentIndex(0);
  board->flicker60Button->click();
  EXPECT_EQ(board->flickerMode(), corvane::FlickerMode::sixty);
  EXPECT_TRUE(board->flicker60Button->isSelected);
  EXPECT_FALSE(board->flickerAutoButton->isSelected);
  EXPECT_EQ(board->pullDownButton->currentText(), "Custom");
  settle();
  EXPECT_EQ(usbCamera->control(kFlicker).cur, 2);
  CustomButton stray;
  stray.tag = 42;
  board->onClickFlickerEvent(&stray);
  EXPECT_EQ(board->flickerMode(), corvane::FlickerMode::automatic);
}

TEST_F(BoardTest, ReturnWithTextThatIsNoNumberChangesNothing) {
  connectCamera();
  makeBoard();
  board->pullDownButton->setCurrentIndex(0);
  metal.brightness = 0.25f;
  const QString inForce = board->lightingTextField->text();
  board->lightingTextField->setText("bright");
  EXPECT_TRUE(board->valueFieldReturn(board->lightingTextField));
  EXPECT_FLOAT_EQ(metal.brightness.load(), 0.25f);
  EXPECT_EQ(board->pullDownButton->currentIndex(), 0);
  EXPECT_EQ(board->lightingTextField->text(), inForce);  // the value in force, shown again
  board->lightingTextField->setText("40");
  EXPECT_TRUE(board->valueFieldReturn(board->lightingTextField));
  EXPECT_FLOAT_EQ(metal.brightness.load(), 0.4f);
  EXPECT_EQ(board->pullDownButton->currentText(), "Custom");
}

// "55,5" and Return in Lighting, then a value and Return in another field: what the Lighting
// field shows is what the custom preset stores, in the C locale and in German alike.
TEST_F(BoardTest, AFieldShowsWhatIsStored) {
  connectCamera();
  makeBoard();
  board->pullDownButton->setCurrentIndex(2);
  emit board->pullDownButton->activated(2);
  settle();
  const QLocale before;
  for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany)}) {
    QLocale::setDefault(locale);
    board->lightingTextField->setText("40");
    ASSERT_TRUE(board->valueFieldReturn(board->lightingTextField));
    board->lightingTextField->setText("55,5");
    board->valueFieldReturn(board->lightingTextField);
    board->nrTextField->setText(board->nrTextField->text());
    board->valueFieldReturn(board->nrTextField);
    const corvane::PresetModel& custom = config->presets[2];
    EXPECT_EQ(board->lightingTextField->text(), QString::number(custom.lighting))
        << locale.name().toStdString();
    EXPECT_EQ(custom.lighting, 40) << locale.name().toStdString();
    // Left by the focus, a field unread is put back too.
    board->lightingTextField->setText("x");
    emit board->lightingTextField->editingFinished();
    EXPECT_EQ(board->lightingTextField->text(), "40");
    // EV takes the locale's separator and shows it.
    const double ev = 0.5;
    board->evTextField->setText(corvane::PictureControlValues::fieldText(ev, locale, true));
    ASSERT_TRUE(board->valueFieldReturn(board->evTextField));
    const QString shownEv = board->evTextField->text();
    EXPECT_EQ(corvane::PictureControlValues::readField(shownEv, locale, true, -100, 100), custom.ev)
        << shownEv.toStdString();
  }
  QLocale::setDefault(before);
}

TEST_F(BoardTest, CurrentPresetStoresTheNameNotTheLocalisedTitle) {
  config->presets = {preset("Standard", "Standardbild", 0, 0, 50, 200, 30),
                     preset("Custom", "Eigene Werte", 0.5, 1, 70, 200, 30)};
  config->customPresetTitle = "Eigene Werte";
  connectCamera();
  makeBoard();
  board->pullDownButton->setCurrentIndex(1);
  emit board->pullDownButton->activated(1);
  settle();
  EXPECT_EQ(defaults->string("CurrentPreset"), "Custom");
  EXPECT_EQ(viewModel.currentPresetIndex->value(), 1);
  EXPECT_TRUE(board->cameraEffectStackView->isVisibleTo(board.get()));
  EXPECT_TRUE(board->effectResetButton->isVisibleTo(board.get()));
  board->lightingSliderCompleted(0.7f);
  EXPECT_EQ(defaults->string("CurrentPreset"), "Custom");

  // A value an earlier version stored as the shown title still selects its preset.
  defaults->set("CurrentPreset", "Eigene Werte");
  board->pullDownButton->setCurrentIndex(0);
  board->reloadPresetList();
  EXPECT_EQ(board->pullDownButton->currentIndex(), 1);
  defaults->set("CurrentPreset", "Standard");
  board->reloadPresetList();
  EXPECT_EQ(board->pullDownButton->currentIndex(), 0);
  EXPECT_FALSE(board->effectResetButton->isVisibleTo(board.get()));
}

TEST_F(BoardTest, FaceButtonTitlesShareOneFittingSize) {
  connectCamera();
  auto env = boardEnvironment();
  env.localized = [](const std::string& key) {
    return key == "control_panel_tracking_name" ? std::string("Automatische Verfolgung")
                                                : std::string("Erkennen");
  };
  board = std::make_unique<corvane::ControlBoardController>(env);
  board->show();
  settle();
  const QFont detect = board->faceAutoDetectButton->font();
  const QFont track = board->faceAutoTrackButton->font();
  EXPECT_EQ(detect.pointSizeF(), track.pointSizeF());
  EXPECT_LE(QFontMetricsF(track).horizontalAdvance(board->faceAutoTrackButton->title()),
            board->faceAutoTrackButton->width() - 10.0);
}

TEST_F(BoardTest, LargeNavigatorSettingKeepsTheNavigatorPanelHiddenOnConnection) {
  config->defaultLargeNavigator = true;
  plugCamera();
  makeManager();
  makeBoard();
  EXPECT_TRUE(viewModel.splitWindow->value());
  connect();
  settle();
  EXPECT_FALSE(board->navigatorBox->isVisibleTo(board.get()));
  EXPECT_FALSE(board->navigatorTitleView->isVisibleTo(board.get()));
  EXPECT_TRUE(board->controlBox->isVisibleTo(board.get()));
}

TEST_F(BoardTest, IgnoreViewHoverColoursOnlyWhileTheIgnoreButtonIsEnabled) {
  connectCamera();
  makeBoard();
  const QColor tint = corvane::NamedColors::color("tintColor");
  const QColor grey = corvane::NamedColors::color("75Color");
  widgettest::enter(board->ignoreButtonView, QPointF(5, 5));
  EXPECT_EQ(board->ignoreButtonView->layerBackgroundColor(), tint);
  widgettest::leave(board->ignoreButtonView);
  EXPECT_EQ(board->ignoreButtonView->layerBackgroundColor(), grey);
  manager->displayMode->setValue(corvane::Display::focus);  // the auto-detect group is disabled
  settle();
  widgettest::enter(board->ignoreButtonView, QPointF(5, 5));
  EXPECT_EQ(board->ignoreButtonView->layerBackgroundColor(), grey);
}

TEST_F(BoardTest, AClickOnTheIgnoreAreaWordsStartsIgnoreEditingWhileTheButtonIsEnabled) {
  connectCamera();
  makeBoard();
  board->resize(280, 900);
  board->show();
  settle();
  ASSERT_TRUE(board->ignoreLabel->isVisible());
  // On the words, not on the "+".
  QTest::mouseClick(board->ignoreLabel, Qt::LeftButton, {}, board->ignoreLabel->rect().center());
  EXPECT_EQ(viewModel.editMode->value(), corvane::EditMode::ignore);
  viewModel.editMode->setValue(corvane::EditMode::none);
  // A right click is no click on the button.
  QTest::mouseClick(board->ignoreLabel, Qt::RightButton, {}, board->ignoreLabel->rect().center());
  EXPECT_EQ(viewModel.editMode->value(), corvane::EditMode::none);
  // Disabled with the auto-detect group: the words do nothing either.
  manager->displayMode->setValue(corvane::Display::focus);
  settle();
  QTest::mouseClick(board->ignoreLabel, Qt::LeftButton, {}, board->ignoreLabel->rect().center());
  EXPECT_EQ(viewModel.editMode->value(), corvane::EditMode::none);
}

TEST_F(BoardTest, RoiBorderButtonsShowTheirKindAndWhetherItIsDrawn) {
  connectCamera();
  makeBoard();
  const std::array<corvane::Observable<bool>*, 3> flags = {manager->drawNormalRect.get(),
                                                           manager->drawTrackingRect.get(),
                                                           manager->drawIgnoreRect.get()};
  // The tool tip says what a click does: show while hidden, hide while drawn.
  const char* tips[] = {"control_panel_roi_normal_tip", "control_panel_roi_tracking_tip",
                        "control_panel_roi_ignore_tip"};
  const char* hideTips[] = {"control_panel_roi_normal_hide_tip",
                            "control_panel_roi_tracking_hide_tip",
                            "control_panel_roi_ignore_hide_tip"};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    corvane::CustomButton* b = board->roiButtons[i];
    EXPECT_TRUE(b->title().isEmpty());
    EXPECT_FALSE(b->selectedImage().isNull());
    EXPECT_FALSE(b->unselectedImage().isNull());
    EXPECT_EQ(b->toolTip().toStdString(), flags[i]->value() ? hideTips[i] : tips[i]);
    // Selected exactly while its kind of frame is drawn, however that changes.
    EXPECT_EQ(b->isSelected, flags[i]->value());
    EXPECT_EQ(b->image().toImage(),
              (flags[i]->value() ? b->selectedImage() : b->unselectedImage()).toImage());
    const bool before = flags[i]->value();
    b->click();
    settle();
    EXPECT_EQ(flags[i]->value(), !before);
    EXPECT_EQ(b->isSelected, !before);
    EXPECT_EQ(b->toolTip().toStdString(), before ? tips[i] : hideTips[i]);
    flags[i]->setValue(before);
    settle();
    EXPECT_EQ(b->isSelected, before);
  }
  // The three pictures differ: each kind has its own colour (the ignore areas' frame is dashed).
  EXPECT_NE(board->roiButtons[0]->selectedImage().toImage(),
            board->roiButtons[1]->selectedImage().toImage());
  EXPECT_NE(board->roiButtons[1]->selectedImage().toImage(),
            board->roiButtons[2]->selectedImage().toImage());
}

// Pixels of the button's painted picture within a few steps of `c`.
int paintedNear(CustomButton* b, const QColor& c) {
  if (b->borderAnimation()) b->borderAnimation()->setCurrentTime(b->borderAnimation()->duration());
  const QImage shot = b->grab().toImage();
  int n = 0;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x) {
      const QColor p = shot.pixelColor(x, y);
      n += std::abs(p.red() - c.red()) + std::abs(p.green() - c.green()) +
               std::abs(p.blue() - c.blue()) <
           24;
    }
  return n;
}

// The pointer on an outline toggle (while its tool tip is read) lights its background and keeps
// its lit or unlit look: a lit one never turns the grey of off.
TEST_F(BoardTest, AHoveredOutlineToggleKeepsItsLitOrUnlitLook) {
  connectCamera();
  makeBoard();
  board->resize(board->sizeHint());
  const std::array<corvane::Observable<bool>*, 3> flags = {manager->drawNormalRect.get(),
                                                           manager->drawTrackingRect.get(),
                                                           manager->drawIgnoreRect.get()};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    CustomButton* b = board->roiButtons[i];
    const QColor lit = b->activeBorderColor();
    for (bool drawn : {true, false}) {
      SCOPED_TRACE(drawn ? "lit" : "unlit");
      flags[i]->setValue(drawn);
      settle();
      ASSERT_EQ(b->isSelected, drawn);
      const int litBefore = paintedNear(b, lit);
      widgettest::enter(b, QPointF(b->width() / 2.0, b->height() / 2.0));
      ASSERT_TRUE(b->isHovered());
      widgettest::grabTo(b, QStringLiteral("outline_toggle_%1_hover_%2").arg(i).arg(drawn));
      EXPECT_EQ(b->layerBackgroundColor(), b->hoverColor()) << "the hover highlight";
      if (drawn) {
        EXPECT_EQ(b->image().toImage(), b->selectedImage().toImage());
        EXPECT_EQ(b->layerBorderColor(), lit);
        EXPECT_GE(paintedNear(b, lit), litBefore) << "border and frame stay in the lit colour";
      } else {
        EXPECT_NE(b->image().toImage(), b->selectedImage().toImage());
        EXPECT_EQ(paintedNear(b, lit), 0) << "an unlit toggle shows none of the lit colour";
      }
      // Lit or put out while the pointer stays on it: the new look, still highlighted.
      flags[i]->setValue(!drawn);
      settle();
      EXPECT_EQ(b->image().toImage(), (!drawn ? b->selectedImage() : b->hoverImage()).toImage());
      EXPECT_EQ(b->layerBackgroundColor(), b->hoverColor());
      flags[i]->setValue(drawn);
      settle();
      widgettest::leave(b);
      EXPECT_FALSE(b->isHovered());
      EXPECT_TRUE(corvane::NamedColors::isClear(b->layerBackgroundColor()));
      EXPECT_EQ(b->image().toImage(),
                (drawn ? b->selectedImage() : b->unselectedImage()).toImage());
    }
  }
}

TEST_F(BoardTest, WithoutACameraThePanelsAreHiddenAtTheFirstStartAndAfterTryAgain) {
  plugCamera();
  makeManager();
  makeBoard();
  auto look = [&](QWidget* box) {
    auto* dim = qobject_cast<QGraphicsOpacityEffect*>(box->graphicsEffect());
    return std::tuple{box->isVisibleTo(board.get()), box->isEnabled(), dim ? dim->opacity() : 1.0};
  };
  const auto firstControl = look(board->controlBox), firstEffect = look(board->effectBox);
  // Nothing to control without a picture: the panels are not there at all (not greyed).
  EXPECT_FALSE(std::get<0>(firstControl));
  EXPECT_FALSE(std::get<0>(firstEffect));
  EXPECT_FALSE(board->navigatorBox->isVisibleTo(board.get()));
  EXPECT_FALSE(board->navigatorTitleView->isVisibleTo(board.get()));
  connect();
  settle();
  EXPECT_EQ(look(board->controlBox), std::make_tuple(true, true, 1.0));
  EXPECT_EQ(look(board->effectBox), std::make_tuple(true, true, 1.0));
  // The camera goes, and "Try Again" finds none: the same state, the same look.
  usbCamera->unplug();
  v4l2.unplug();
  for (int i = 0; i < 6; ++i) advance(1s);
  manager->startConnection();
  for (int i = 0; i < 6; ++i) advance(1s);
  ASSERT_EQ(manager->connectMode->value(), ConnectMode::disconnected);
  EXPECT_EQ(look(board->controlBox), firstControl);
  EXPECT_EQ(look(board->effectBox), firstEffect);
  EXPECT_FALSE(board->navigatorBox->isVisibleTo(board.get()));
}

TEST_F(BoardTest, SplitButtonNeedsTheCameraAndTheSimpleSwitchRedrawsTheSelection) {
  plugCamera();
  makeManager();
  makeBoard();
  board->onClickSplitButton();
  settle();
  EXPECT_FALSE(viewModel.splitWindow->value());
  connect();
  settle();
  manager->displayMode->setValue(corvane::Display::grid);
  platform::MainQueue::shared().drain();
  board->showSimpleUI(true);
  EXPECT_TRUE(withTag(board->displayModeButtons(), 12)->isSelected);
}

namespace {

// Takes every free block of the file system `folder` is on.
void fillDisk(const std::string& folder) {
  std::ofstream filler(folder + "/filler");
  const std::string block(4096, 'f');
  while (filler.write(block.data(), block.size())) {
  }
}

}  // namespace

// A change of the custom preset is kept on disk at once; one that cannot be kept (a full disk)
// is told with its reason, once until a save goes through again, not found missing at the next
// start.
TEST_F(BoardTest, ACustomPresetChangeThatCannotBeKeptIsToldWithItsReason) {
  const std::string caches = home.path() + "/caches";
  testsupport::SmallTmpfs disk(caches, "64k");
  if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here: " << disk.why();
  platform::Bundle bundle;
  bundle.configure({{"CFBundleExecutable", "corvane-studio"}}, "corvane-studio");
  corvane::ConfigManager::Environment configEnv;
  configEnv.bundle = &bundle;
  configEnv.defaults = defaults.get();
  configEnv.cachesFolder = caches;
  std::vector<corvane::PresetModel> shipped = config->presets;
  config = std::make_unique<corvane::ConfigManager>(configEnv);
  config->presets = shipped;
  config->customPresetTitle = "Custom";
  ASSERT_TRUE(config->presetFileURL);
  const std::string presetFile = *config->presetFileURL;
  fillDisk(caches);

  connectCamera();
  std::vector<QString> told;
  corvane::ControlBoardController::Environment env = boardEnvironment();
  env.localized = [](const std::string& key) {
    return key == "alert_preset_not_saved" ? std::string("not saved: %1") : key;
  };
  env.showFailure = [&](const QString& message) { told.push_back(message); };
  board = std::make_unique<corvane::ControlBoardController>(env);
  settle();
  choosePreset(*board, 2);
  advance(1s);
  EXPECT_TRUE(told.empty()) << "choosing a preset changes none";

  drag(board->lightingSlider, board->lightingSlider->width() * 0.8, true);
  settle();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_TRUE(told[0].startsWith("not saved: ")) << told[0].toStdString();
  EXPECT_TRUE(told[0].contains(QString::fromStdString(std::strerror(ENOSPC))))
      << told[0].toStdString();
  // Every further change fails as well: told once.
  drag(board->lightingSlider, board->lightingSlider->width() * 0.3, true);
  board->flicker50Button->click();
  settle();
  EXPECT_EQ(told.size(), 1u);

  // Room again: the change is on disk at once, without a word.
  std::filesystem::remove(caches + "/filler");
  drag(board->lightingSlider, board->lightingSlider->width() * 0.6, true);
  settle();
  EXPECT_EQ(told.size(), 1u);
  const int64_t lighting = config->presets[2].lighting;
  corvane::ConfigManager next(configEnv);
  next.loadPresets();
  ASSERT_EQ(next.presets.size(), 3u);
  EXPECT_EQ(next.presets[2].lighting, lighting);
  EXPECT_TRUE(std::filesystem::exists(presetFile));

  // Full once more: told again.
  fillDisk(caches);
  board->onClickResetButton();
  settle();
  EXPECT_EQ(told.size(), 2u);
}

// Each control of the board is drawn whole: inside every container up to the board, and inside
// the boxes' frames, in either layout of the detection controls.
TEST_F(BoardTest, EveryControlLiesWhollyInsideItsContainers) {
  connectCamera();
  for (const bool faceLayout : {false, true}) {
    SCOPED_TRACE(faceLayout ? "the face layout" : "the switch layout");
    config->enableNewDetectLayout = faceLayout;
    makeBoard();
    board->show();
    settle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    int checked = 0;
    for (QWidget* control : board->findChildren<QWidget*>()) {
      const bool isControl = qobject_cast<corvane::CustomButton*>(control) ||
                             qobject_cast<corvane::CustomSwitch*>(control) ||
                             qobject_cast<corvane::ImageView*>(control) ||
                             qobject_cast<QComboBox*>(control);
      if (!isControl || !control->isVisible()) continue;
      ++checked;
      const QString name = control->objectName().isEmpty()
                               ? QString::fromLatin1(control->metaObject()->className())
                               : control->objectName();
      QRect r = control->geometry();
      for (QWidget* up = control->parentWidget(); up && up != board.get();
           up = up->parentWidget()) {
        const QRect room = qobject_cast<corvane::CustomBox*>(up) ? up->contentsRect() : up->rect();
        EXPECT_TRUE(room.contains(r))
            << name.toStdString() << " at " << r.x() << "," << r.y() << " " << r.width() << "x"
            << r.height() << " in " << room.width() << "x" << room.height();
        r.translate(up->pos());
      }
    }
    EXPECT_GT(checked, 10);
    board.reset();
  }
}
