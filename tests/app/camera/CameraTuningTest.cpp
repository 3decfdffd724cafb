#include <QFile>

#include "CameraManagerFixture.h"
#include "OutlineBudget.h"
#include "camera/CameraTuning.h"
#include "camera/PlayerManager.h"
#include "config/ConfigManager.h"
#include "controlboard/ControlBoardViewModel.h"
#include <cmath>

using corvane::CameraFormat;
using corvane::CameraTuning;
using corvane::Display;
using corvane::RectPoint;
using corvane::VerticalFovMode;

class CameraTuningTest : public CameraManagerTest {
 protected:
  void SetUp() override {
    CameraManagerTest::SetUp();
    corvane::ConfigManager::Environment e;
    e.defaults = defaults.get();
    config = std::make_unique<corvane::ConfigManager>(std::move(e));
    config->presets = {corvane::PresetModel{"Default", "", 0, 0, 0, 128, 3, 3, 200, 0},
                       corvane::PresetModel{"Custom", "", 0, 0, 0, 128, 3, 3, 200, 0}};
    config->doaOffset = 15;
    config->stableRoiMin = 3;
    config->stableRoiMax = 9;
    config->gridModeMaxCount = int64_t(1) << 40;  // does not fit 32 bits
    config->enableNewDetectLayout = false;
    config->detectRemoveThreshold = 7;
    config->defaultAutoDetect = true;
    config->detectInterval = 2000;
    config->manualFocusRect = {RectPoint(0.25, 0.1, 0.5, 0.1, 0.5, 0.3, 0.25, 0.3)};
    plugCamera();
    auto env = environment();
    env.config = config.get();
    env.viewModel = &viewModel;
    manager = std::make_unique<corvane::CameraManager>(env);
  }
  std::unique_ptr<corvane::ConfigManager> config;
  corvane::ControlBoardViewModel viewModel;
};

TEST_F(CameraTuningTest, TuningIsPushedAfterTheSetUpAndBeforeTheListeners) {
  defaults->set("AutoTracking", true);
  connect();
  auto calls = facades->last()->calls();
  auto at = [&](const std::string& prefix) {
    return std::find_if(calls.begin(), calls.end(),
                        [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }) -
           calls.begin();
  };
  EXPECT_LT(at("enableSmallVideoWindow"), at("SetVoiceAngleOffset 15"));
  EXPECT_LT(at("SetVoiceAngleOffset"), at("SetStableROITolerance 3 9"));
  EXPECT_LT(at("SetMinSrcHeightScale"), at("replaceDefaultLogoPath"));
  EXPECT_NE(at("SetDetectRectDirtyThreshold 7"), std::ptrdiff_t(calls.size()));
  EXPECT_NE(at("SetMaxGridCount 2147483647"), std::ptrdiff_t(calls.size()));
  EXPECT_NE(at("enableAutoDetect 1 2000"), std::ptrdiff_t(calls.size()));
  // 3840 x 1080: x 960, width 960, height 0.5625 x 960 = 540 around the centre at y 216.
  EXPECT_NE(at("SetManualFocusRectInitPlace 960 0 960 540"), std::ptrdiff_t(calls.size()));
  EXPECT_NE(at("replaceDefaultLogoPath "), std::ptrdiff_t(calls.size()));
  EXPECT_TRUE(manager->isAutoDetect->value());
  EXPECT_TRUE(manager->isAutoTracking->value());
  EXPECT_EQ(manager->detectInterval, 2000);
}

TEST_F(CameraTuningTest, RectInitPlaceIsClampedIntoThePicture) {
  std::vector<int> got;
  auto send = [&](int x, int y, int w, int h) { got = {x, y, w, h}; };
  CameraTuning::applyRectInitPlace({RectPoint(-0.1, 0.9, 0.9, 0.9, 0.9, 1, -0.1, 1)},
                                   CameraFormat{1000, 500, 0, 0, false}, 0.5625, send);
  // x 0 (from -100), width 1000 (the picture's), height 562.5 -> 500 - y.
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0], 0);
  EXPECT_EQ(got[2], 1000);
  EXPECT_NEAR(got[1] + got[3], 500, 1);
  // None saved, or one enclosing nothing: the middle of the picture (x 0.32 to 0.68, its
  // height around the centre of 0.2 to 0.8), so focus and presentation have something to show.
  for (const std::vector<RectPoint>& saved :
       {std::vector<RectPoint>{}, std::vector<RectPoint>{RectPoint()},
        std::vector<RectPoint>{RectPoint(0.5, 0.5, 0.5, 0.5, 0.5, 0.9, 0.5, 0.9)},
        std::vector<RectPoint>{RectPoint(NAN, 0.2, 0.6, 0.2, 0.6, 0.8, NAN, 0.8)}}) {
    got.clear();
    CameraTuning::applyRectInitPlace(saved, CameraFormat{1000, 500, 0, 0, false}, 0.5625, send);
    EXPECT_EQ(got, (std::vector<int>{320, 148, 360, 202}));
  }
}

TEST_F(CameraTuningTest, FirstFrameRestoresTheCurrentRecord) {
  config->roiRecordIndex = 2;
  config->roiRecord2 = {RectPoint(0.1, 0.2, 0.3, 0.2, 0.3, 0.6, 0.1, 0.6)};
  config->roiRecord2Fov = 1;  // the top position
  config->roiRecord2Mirror = true;
  config->roiRecord2BasePos = 0.25;
  config->roiRecord2180CropY = 0.5;
  config->roiRecord2DoTracking = true;
  config->roiRecord2DisplayMode = 12;  // grid
  config->ignoreRoiRecord2 = {RectPoint(0.5, 0.5, 0.6, 0.5, 0.6, 0.7, 0.5, 0.7)};
  config->roiRecord2ForcusedPreset = 1;
  config->roiRecord2CustomPreset = corvane::PresetModel{"Mine", "", 1, 2, 0, 100, 4, 5, 220, 3};
  connect();
  auto facade = facades->last();
  facade->clearCalls();
  deliverFrame(1);
  settle();
  auto calls = facade->calls();
  std::vector<std::string> expected = {
      "setMirror 0",
      "setContentOffset 0",
      "AddNewRect 384 216 1152 648",
      "setMirror 1",
      "setContentOffset 960",
      "StartIgnoreAreaEditing",
      "AddNewRect 1920 540 2304 756",
      "EndIgnoreAreaEditing 1",
      "SetHeightOffsetFor180Video 220",  // 0.5 x (1080 - 3840 / 6)
  };
  ASSERT_GE(calls.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + long(expected.size())),
            expected);
  // Then the listeners of the stores: the display mode among them.
  EXPECT_FALSE(facade->callsStartingWith("setDisplayMode 12").empty());
  EXPECT_EQ(manager->displayMode->value(), Display::grid);
  EXPECT_EQ(manager->verticalFov->value(), VerticalFovMode::top);
  EXPECT_TRUE(viewModel.mirror->value());
  EXPECT_EQ(viewModel.currentPresetIndex->value(), 1);
  EXPECT_EQ(defaults->string("CurrentPreset").toStdString(), "Custom");
  EXPECT_EQ(config->presets[1].name, "Mine");
  EXPECT_EQ(config->presets[1].contrast, 100);
  EXPECT_EQ(manager->editOffsetDatumPoint, 960);
  EXPECT_TRUE(manager->isFaceAutoTracking->value());
  EXPECT_TRUE(manager->loadRecord->value());
}

TEST_F(CameraTuningTest, BadIndicesFromTheUsersFileAreAbsent) {
  config->roiRecordIndex = 1;
  config->roiRecord1Fov = 9;              // no such position
  config->roiRecord1ForcusedPreset = -2;  // no such preset
  config->roiRecord1DisplayMode = 77;     // no such display
  viewModel.currentPresetIndex->setValue(3);
  manager->verticalFov->setValue(VerticalFovMode::down);
  connect();
  std::string presetBefore = defaults->string("CurrentPreset").toStdString();
  deliverFrame(1);
  settle();
  EXPECT_EQ(manager->verticalFov->value(), VerticalFovMode::down);
  EXPECT_EQ(viewModel.currentPresetIndex->value(), 3);
  EXPECT_EQ(defaults->string("CurrentPreset").toStdString(), presetBefore);
  EXPECT_EQ(manager->displayMode->value(), Display::compose);
}

// Tracking turned on by the user comes back at the next start when no saved layout is current;
// a saved layout still brings its own tracking state.
TEST_F(CameraTuningTest, TrackingTheUserTurnedOnSurvivesAStartWithoutASavedLayout) {
  config->enableNewDetectLayout = true;
  defaults->set("FaceAutoTracking", true);
  config->roiRecordIndex = 0;
  connect();
  deliverFrame(1);
  settle();
  EXPECT_TRUE(manager->isFaceAutoTracking->value());

  config->roiRecordIndex = 2;
  config->roiRecord2DoTracking = false;
  manager->loadRoiRecord();
  settle();
  EXPECT_FALSE(manager->isFaceAutoTracking->value());
}

TEST_F(CameraTuningTest, TheCamerasGammaAndFlickerGoIntoEveryPreset) {
  for (auto& preset : config->presets) {
    preset.gamma = 7;
    preset.flickr = 2;
  }
  connect();
  platform::MainQueue::shared().drain();
  for (const auto& preset : config->presets) {
    EXPECT_EQ(preset.gamma, 200) << preset.name;  // the camera's gamma, raw
    EXPECT_EQ(preset.flickr, 1) << preset.name;
    EXPECT_EQ(preset.contrast, 128) << preset.name;  // the rest is the preset's own
  }
}

// The switches come back after a real restart: a new store over the same file, where every value
// is text, and a new camera manager; with the camera and with a file as the source.
class CameraTuningRestartTest : public CameraTuningTest {
 protected:
  void restartWith(bool fileSource) {
    settings.newDetectLayout = true;
    config->roiRecordIndex = 0;
    connect();
    manager->isAutoTracking->setValue(true);
    manager->isFaceAutoTracking->setValue(true);
    settle();
    ASSERT_TRUE(defaults->synchronize());
    manager.reset();

    // The file as the ended run left it, read by a new store (a copy: the process keeps its
    // own cache of a settings file it has open).
    previous = std::move(defaults);  // the ended run's store, which config still refers to
    const QString restarted = QString::fromStdString(home.path() + "/restarted.conf");
    ASSERT_TRUE(QFile::copy(previous->filePath(), restarted));
    defaults = std::make_unique<platform::UserDefaults>(restarted);
    ASSERT_EQ(defaults->object("AutoTracking").typeId(), QMetaType::QString);
    auto env = environment();
    env.config = config.get();
    env.viewModel = &viewModel;
    if (fileSource) {
      player = std::make_unique<corvane::PlayerManager>(clock);
      player->mode->setValue(corvane::PlayerMode::image);
      env.player = player.get();
    }
    manager = std::make_unique<corvane::CameraManager>(env);
    if (fileSource)
      player->loadImages({QString::fromStdString(testsupport::photoPath(1))});
    else
      connect();
    settle();
    ASSERT_EQ(manager->connectMode->value(), corvane::ConnectMode::connected);
    EXPECT_TRUE(manager->isAutoTracking->value());
    EXPECT_TRUE(manager->isFaceAutoTracking->value());
    EXPECT_TRUE(defaults->boolean("AutoTracking"));
    EXPECT_TRUE(defaults->boolean("FaceAutoTracking"));
    auto calls = facades->last()->calls();
    auto last = std::find_if(calls.rbegin(), calls.rend(), [](const std::string& c) {
      return c == "EnableAutoDetectTracking" || c == "DisableAutoDetectTracking";
    });
    ASSERT_NE(last, calls.rend());
    EXPECT_EQ(*last, "EnableAutoDetectTracking");
  }
  void TearDown() override {
    if (player) player->pause();
    if (manager) settle();
    manager.reset();
    if (player) player->pushImageQueue().drain();
    player.reset();
    CameraTuningTest::TearDown();
  }
  std::unique_ptr<platform::UserDefaults> previous;
  std::unique_ptr<corvane::PlayerManager> player;
};

TEST_F(CameraTuningRestartTest, WithTheCamera) { restartWith(false); }
TEST_F(CameraTuningRestartTest, WithAFile) { restartWith(true); }

TEST(CameraTuningStoredBoolean, ReadsTheStoresBooleansAndNothingElse) {
  testsupport::TempDir home;
  platform::UserDefaults defaults(QString::fromStdString(home.path() + "/d.conf"));
  struct Row {
    QVariant stored;
    std::optional<bool> read;
  } rows[] = {
      {QVariant(), std::nullopt},
      {QVariant(true), true},
      {QVariant(false), false},
      {QVariant(QString("true")), true},
      {QVariant(QString("false")), false},
      {QVariant(QString("1")), true},
      {QVariant(QString("0")), false},
      {QVariant(QString("TRUE")), true},
      {QVariant(QString("yes")), std::nullopt},
      {QVariant(qint64(7)), std::nullopt},
  };
  for (const Row& row : rows) {
    defaults.remove("Switch");
    if (row.stored.isValid()) defaults.set("Switch", row.stored);
    EXPECT_EQ(CameraTuning::storedBoolean(defaults, "Switch"), row.read)
        << row.stored.toString().toStdString();
  }
}

// A layout with more than the picture draws (one saved by an earlier build, or written by hand)
// comes in with its ignore areas first and as many boxes as fit, a box at the place of another
// once, and the window learns how many were left out.
TEST_F(CameraTuningTest, ARecordBeyondWhatThePictureDrawsIsFittedAndTheRestNamed) {
  config->roiRecordIndex = 1;
  config->roiRecord1DisplayMode = 10;
  for (int i = 0; i < 30; ++i) {
    const double x = 0.03 * i;
    config->roiRecord1.push_back(RectPoint(x, 0.2, x + 0.02, 0.2, x + 0.02, 0.4, x, 0.4));
  }
  // The first box twice, as earlier builds stored the start's detection on a restored box.
  config->roiRecord1.push_back(config->roiRecord1.front());
  config->ignoreRoiRecord1 = {RectPoint(0.5, 0.6, 0.6, 0.6, 0.6, 0.8, 0.5, 0.8),
                              RectPoint(0.7, 0.6, 0.8, 0.6, 0.8, 0.8, 0.7, 0.8)};
  connect();
  auto facade = facades->last();
  facade->clearCalls();
  deliverFrame(1);
  settle();
  const auto calls = facade->calls();
  const auto ignoreStart = std::find(calls.begin(), calls.end(), "StartIgnoreAreaEditing");
  ASSERT_NE(ignoreStart, calls.end());
  const auto boxes = std::count_if(calls.begin(), ignoreStart, [](const std::string& c) {
    return c.rfind("AddNewRect", 0) == 0;
  });
  const auto ignores = std::count_if(ignoreStart, calls.end(), [](const std::string& c) {
    return c.rfind("AddNewRect", 0) == 0;
  });
  EXPECT_EQ(ignores, 2);
  EXPECT_EQ(boxes, orlith::OutlineBudget::kOutlines - 2);
  // The window is told once.
  EXPECT_EQ(manager->recordBoxesLeftOut, 16);
  EXPECT_EQ(manager->recordIgnoreAreasLeftOut, 0);
  // The record itself keeps all it holds.
  EXPECT_EQ(config->roiRecord1.size(), 31u);
  EXPECT_EQ(config->ignoreRoiRecord1.size(), 2u);
}
