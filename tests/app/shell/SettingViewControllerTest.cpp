#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <chrono>
#include <thread>

#include "ISelvoServiceManage.h"
#include "RecordingAnalysisFacade.h"
#include "RecordingSelvoObjects.h"
#include "ShellTestRig.h"
#include "camera/SelvoAnalysisFacade.h"
#include "config/ConfigManager.h"
#include "dispatch/MainQueue.h"
#include "shell/LanguagePopUpButton.h"
#include "shell/SettingViewController.h"
#include "video/PixelBuffer.h"
#include "widgets/FocusScope.h"
#include "widgets/ImageView.h"

namespace corvane {
namespace {

RectPoint box(double x0, double x1, double y0, double y1) {
  RectPoint q;
  q.x1 = x0, q.y1 = y0, q.x2 = x1, q.y2 = y0, q.x3 = x1, q.y3 = y1, q.x4 = x0, q.y4 = y1;
  return q;
}

class SettingViewControllerTest : public ::testing::Test, public shelltest::ShellTestRig {
 protected:
  std::unique_ptr<LanguageManager> manager;
  std::unique_ptr<ConfigManager> config;
  std::shared_ptr<AnalysisFacade> facade;
  int facadeRequests = 0;
  int loads = 0;
  int closes = 0;
  std::optional<std::string> thumbnails = dir.path() + "/caches/corvane-studio/thumbnail";
  platform::UserDefaults* store = &defaults;

  void SetUp() override {
    // With its executable's name the settings have a folder of their own under the caches.
    bundle.configure({{"CFBundleName", "Corvane Studio"}, {"CFBundleExecutable", "corvane-studio"}},
                     "corvane-studio");
    config = makeConfig(dir.path() + "/caches");
  }

  std::unique_ptr<ConfigManager> makeConfig(const std::string& caches) {
    ConfigManager::Environment env;
    env.defaults = &defaults;
    env.bundle = &bundle;
    env.localLibrary = dir.path() + "/library";
    env.cachesFolder = caches;
    return std::make_unique<ConfigManager>(env);
  }

  std::unique_ptr<SettingViewController> makeWindow() {
    if (!manager) manager = languages("en");
    SettingViewController::Environment env;
    env.languages = manager.get();
    env.defaults = store;
    env.alerts = &alerts;
    env.config = config.get();
    env.facade = [this] { return ++facadeRequests, facade; };
    env.loadRoiRecord = [this] { ++loads; };
    env.thumbnailFolder = [this] { return thumbnails; };
    env.workspace = &workspace;
    env.terminate = [this] { ++terminated; };
    auto window = std::make_unique<SettingViewController>(env);
    window->closeAction = [this] { ++closes; };
    return window;
  }

  static std::vector<QString> titles(const QComboBox* box) {
    std::vector<QString> out;
    for (int i = 0; i < box->count(); ++i) out.push_back(box->itemText(i));
    return out;
  }

  void writeThumbnail(int record, QSize size, QColor color) {
    std::filesystem::create_directories(*thumbnails);
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    ASSERT_TRUE(image.save(
        QString::fromStdString(*thumbnails + "/ROI_Thumbnail_" + std::to_string(record) + ".png")));
  }
};

TEST_F(SettingViewControllerTest, OpensOnTheLanguagePaneWithItsTexts) {
  auto window = makeWindow();
  EXPECT_EQ(window->currentState, SettingState::Language);
  EXPECT_EQ(window->titleLabel()->text(), "Settings");
  EXPECT_EQ(window->languageButton()->title(), "Language");
  EXPECT_EQ(window->gestureButton()->title(), "Gestures");
  EXPECT_EQ(window->roiButton()->title(), "Start-up Layout");
  EXPECT_EQ(window->languageOkButton()->title(), "OK");
  EXPECT_EQ(window->roiOkButton()->title(), "OK");
  EXPECT_EQ(window->roiDescLabel()->text(), "Choose the layout shown when the camera starts.");
  EXPECT_TRUE(window->backgroundView()->disableMouseEvent);
  EXPECT_TRUE(window->languageView()->isVisibleTo(window.get()));
  EXPECT_FALSE(window->gestureView()->isVisibleTo(window.get()));
  EXPECT_FALSE(window->roiView()->isVisibleTo(window.get()));
  EXPECT_TRUE(window->languageButton()->isSelected);
  EXPECT_TRUE(window->languageButton()->state());
  EXPECT_FALSE(window->roiButton()->isSelected);
}

TEST_F(SettingViewControllerTest, TabsShowOnePaneAndRebuildTheirListsOnEverySelection) {
  writeTables({"en", "zh-Hans"});
  config->roiRecordIndex = 2;
  auto window = makeWindow();
  EXPECT_EQ(titles(window->languagePullDownButton()),
            (std::vector<QString>{"English", "中文（简体）"}));

  window->gestureButton()->click();
  EXPECT_EQ(window->currentState, SettingState::Gesture);
  EXPECT_TRUE(window->gestureView()->isVisibleTo(window.get()));
  EXPECT_FALSE(window->languageView()->isVisibleTo(window.get()));
  EXPECT_TRUE(window->gestureButton()->isSelected);
  EXPECT_FALSE(window->languageButton()->isSelected);
  EXPECT_FALSE(window->languageButton()->state());
  window->gestureUseButton()->click();
  EXPECT_TRUE(window->gestureUseButton()->isChecked()) << "information only";

  window->roiButton()->click();
  EXPECT_TRUE(window->roiView()->isVisibleTo(window.get()));
  EXPECT_EQ(titles(window->roiPullDownButton()),
            (std::vector<QString>{"None", "Layout 1", "Layout 2", "Layout 3"}));
  EXPECT_EQ(window->roiPullDownButton()->currentIndex(), 2);
  window->roiPullDownButton()->setCurrentIndex(3);
  window->onClickRoiPullDownButton();
  window->onClickGesture();
  window->onClickRoi();
  EXPECT_EQ(window->roiPullDownButton()->currentIndex(), 2) << "reset to the stored index";

  writeTables({"zh-Hant"});
  manager->getLocalizableList();
  window->languageButton()->click();
  EXPECT_EQ(titles(window->languagePullDownButton()),
            (std::vector<QString>{"English", "中文（简体）", "中文（繁體）"}));
}

TEST_F(SettingViewControllerTest, LanguageNamesAreEachInTheirOwnLanguageAndTheTableInUseIsChosen) {
  writeTables({"en", "xx", "zh-Hans", "zh-Hant"});
  defaults.set("CurrentLanguage", QString::fromStdString(table("zh-Hans")));
  auto window = makeWindow();
  auto* box = window->languagePullDownButton();
  EXPECT_EQ(titles(box), (std::vector<QString>{"English", "中文（简体）", "中文（繁體）"}));
  EXPECT_EQ(box->currentIndex(), 1);
}

// The same restart as the language window's: the program starts again, with the clip it plays.
TEST_F(SettingViewControllerTest, LanguageOkStoresTheChosenTableClosesAndStartsTheProgramAgain) {
  writeTables({"en", "xx", "zh-Hans", "zh-Hant"});
  auto window = makeWindow();
  window->languagePullDownButton()->setCurrentIndex(2);
  window->languageOkButton()->click();
  answerAlert(true);
  EXPECT_EQ(defaults.string("CurrentLanguage").toStdString(), table("zh-Hant"));
  EXPECT_EQ(manager->collatorIdentifier(), table("zh-Hant"));
  EXPECT_EQ(manager->currentTablePath(), table("zh-Hant"));
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(terminated, 1);
  ASSERT_EQ(spawned.size(), 1u);
  EXPECT_EQ(spawned[0], (shelltest::Argv{"/bin/sh", "-c", "sleep 2; exec \"$0\" \"$@\"",
                                         executable, "/home/user/clips/demo 360.mp4"}));
}

// A choice left without its OK (the close button, or Cancel in the question) is not what the
// window shows when it opens again: it shows what is in force.
TEST_F(SettingViewControllerTest, ReopenedItShowsWhatIsInForceNotAnAbandonedChoice) {
  writeTables({"en", "zh-Hans", "zh-Hant"});
  config->roiRecordIndex = 1;
  auto window = makeWindow();
  window->show();
  window->languagePullDownButton()->setCurrentIndex(2);
  window->closeButton()->click();
  window->hide();
  window->show();
  EXPECT_EQ(window->languagePullDownButton()->selectedTable(), table("en"));

  window->languagePullDownButton()->setCurrentIndex(1);
  window->languageOkButton()->click();
  answerAlert(false);
  window->hide();
  window->show();
  EXPECT_EQ(window->languagePullDownButton()->selectedTable(), table("en"));
  EXPECT_EQ(terminated, 0);

  window->onClickRoi();
  window->roiPullDownButton()->setCurrentIndex(2);
  window->onClickRoiPullDownButton();
  window->closeButton()->click();
  window->hide();
  window->show();
  EXPECT_EQ(window->currentState, SettingState::Roi) << "the pane it was left on";
  EXPECT_EQ(window->roiPullDownButton()->currentIndex(), 1);
  EXPECT_EQ(config->roiRecordIndex, 1);
}

// Both of the window's choices are stored while the user is there; a store that fails is told
// with its reason, and a language that could not be stored restarts nothing.
TEST_F(SettingViewControllerTest, AChoiceThatCannotBeStoredIsToldAndNothingRestarts) {
  writeTables({"en", "zh-Hans", "zh-Hant"});
  platform::UserDefaults unwritable{QString::fromStdString(unwritableFile("defaults.conf"))};
  store = &unwritable;
  config = makeConfig(unwritableFile("caches"));
  auto window = makeWindow();
  window->languagePullDownButton()->setCurrentIndex(2);
  window->languageOkButton()->click();
  answerAlert(true);
  ASSERT_TRUE(alerts.isShow) << "the failure is told";
  QString told = alert->messageLabel()->text();
  EXPECT_TRUE(told.startsWith("The language was not changed: ")) << told.toStdString();
  EXPECT_GT(told.size(), QString("The language was not changed: ").size()) << "with its reason";
  EXPECT_TRUE(spawned.empty());
  EXPECT_EQ(terminated, 0);
  EXPECT_FALSE(unwritable.contains("CurrentLanguage"));
  answerAlert(true);

  window->onClickRoi();
  window->roiPullDownButton()->setCurrentIndex(2);
  window->roiOkButton()->click();
  ASSERT_TRUE(alerts.isShow) << "the failure is told";
  told = alert->messageLabel()->text();
  EXPECT_TRUE(told.startsWith("The layout for the start was not saved: ")) << told.toStdString();
  EXPECT_GT(told.size(), QString("The layout for the start was not saved: ").size());
  EXPECT_EQ(loads, 1) << "the layout still applies to this run";
  answerAlert(true);
  EXPECT_EQ(terminated, 0);
}

// The layout chosen for the start is on disk once the window says OK, not only at the quit.
TEST_F(SettingViewControllerTest, TheLayoutForTheStartIsStoredAtOnce) {
  auto window = makeWindow();
  window->onClickRoi();
  window->roiPullDownButton()->setCurrentIndex(2);
  window->roiOkButton()->click();
  EXPECT_FALSE(alerts.isShow);
  auto reread = makeConfig(dir.path() + "/caches");
  reread->loadCustomConfig();
  EXPECT_EQ(reread->roiRecordIndex, 2);
}

TEST_F(SettingViewControllerTest, CancellingTheRestartOrTheFallbackChangesNoLanguage) {
  writeTables({"en", "zh-Hans"});
  auto window = makeWindow();
  window->languagePullDownButton()->setCurrentIndex(1);
  window->languageOkButton()->click();
  answerAlert(false);
  EXPECT_FALSE(defaults.contains("CurrentLanguage"));
  EXPECT_EQ(manager->collatorIdentifier(), "en");
  EXPECT_EQ(terminated, 0);
  EXPECT_EQ(closes, 0);

  std::filesystem::remove_all(tableFolder());
  manager->getLocalizableList();
  window->onClickLanguage();
  ASSERT_EQ(titles(window->languagePullDownButton()), std::vector<QString>{"English"});
  window->languageOkButton()->click();
  answerAlert(true);
  EXPECT_FALSE(defaults.contains("CurrentLanguage"));
  EXPECT_EQ(manager->collatorIdentifier(), "en");
  EXPECT_EQ(terminated, 1) << "the program still quits";
}

// Opened from the keyboard the window's first stop (where the main window's focus scope puts
// the focus) is its first useful control, the close button its last; OK on the language in
// force closes without asking to restart.
TEST_F(SettingViewControllerTest, StartsOnAUsefulControlAndAsksToRestartOnlyForAChange) {
  writeTables({"en", "zh-Hans"});
  auto window = makeWindow();
  window->show();
  std::vector<QWidget*> stops = corvane::FocusScope::stops({window.get()});
  ASSERT_GE(stops.size(), 2u);
  EXPECT_EQ(stops.front(), window->languageButton());
  EXPECT_EQ(stops.back(), window->closeButton());

  const int chosen = window->languagePullDownButton()->currentIndex();
  window->languageOkButton()->click();
  EXPECT_FALSE(alerts.isShow);
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(terminated, 0);
  EXPECT_TRUE(spawned.empty());
  // Another language asks.
  window->languagePullDownButton()->setCurrentIndex(chosen == 0 ? 1 : 0);
  window->languageOkButton()->click();
  EXPECT_TRUE(alerts.isShow);
}

TEST_F(SettingViewControllerTest, PreviewShowsTheThumbnailOrTheDefaultPictureWithFramesDrawn) {
  writeThumbnail(1, QSize(400, 100), Qt::darkGray);
  config->roiRecord1 = {box(0.5, 0.7, 0.2, 0.8)};
  config->roiRecord1BasePos = 0.25;
  config->roiRecord2 = {box(0.5, 0.7, 0.2, 0.8)};
  config->roiRecord2BasePos = 0.25;
  config->roiRecord2Mirror = true;
  config->roiRecordIndex = 1;
  auto window = makeWindow();
  window->onClickRoi();
  ASSERT_FALSE(window->roiImageView()->image().isNull());
  EXPECT_EQ(window->roiImageView()->image().size(), QSize(400, 100));
  const QImage overlay = window->roiRectImageView()->image().toImage();
  ASSERT_EQ(overlay.size(), QSize(400, 100));
  EXPECT_EQ(overlay.pixelColor(100, 50).rgb(), QColor(40, 150, 245).rgb());
  EXPECT_EQ(overlay.pixelColor(300, 50).alpha(), 0);
  EXPECT_EQ(window->roiRecord, config->roiRecord1);

  // No thumbnail for record 2: the default room, the mirrored frame over it.
  window->roiPullDownButton()->setCurrentIndex(2);
  window->onClickRoiPullDownButton();
  const QPixmap fallback = window->roiImageView()->image();
  ASSERT_FALSE(fallback.isNull());
  const QSize points = fallback.deviceIndependentSize().toSize();
  const QImage mirrored = window->roiRectImageView()->image().toImage();
  ASSERT_EQ(mirrored.size(), points);
  EXPECT_EQ(mirrored.pixelColor(points.width() * 3 / 4, points.height() / 2).rgb(),
            QColor(40, 150, 245).rgb());
  EXPECT_EQ(mirrored.pixelColor(points.width() / 4, points.height() / 2).alpha(), 0);

  window->roiPullDownButton()->setCurrentIndex(0);
  window->onClickRoiPullDownButton();
  EXPECT_TRUE(window->roiImageView()->image().isNull());
  EXPECT_TRUE(window->roiRectImageView()->image().isNull());
}

TEST_F(SettingViewControllerTest, TheThumbnailFolderIsMadeWhenMissingAndItsAbsenceIsNoFault) {
  config->roiRecordIndex = 3;
  auto window = makeWindow();
  window->onClickRoi();
  EXPECT_TRUE(std::filesystem::is_directory(*thumbnails));
  EXPECT_FALSE(window->roiImageView()->image().isNull()) << "the default room";
  EXPECT_TRUE(window->roiRectImageView()->image().toImage().pixelColor(5, 5).alpha() == 0)
      << "an empty record draws no frame";

  thumbnails = std::nullopt;
  window->onClickRoi();
  EXPECT_FALSE(window->roiImageView()->image().isNull());
}

TEST_F(SettingViewControllerTest, ApplyingStoresTheIndexLoadsTheRecordAndCloses) {
  auto registry = std::make_shared<testsupport::RecordingAnalysisFacade::Registry>();
  facade = testsupport::RecordingAnalysisFacade::factory(registry)();
  config->roiRecordIndex = 1;
  auto window = makeWindow();
  window->onClickRoi();
  window->roiPullDownButton()->setCurrentIndex(3);
  window->roiOkButton()->click();
  EXPECT_EQ(config->roiRecordIndex, 3);
  EXPECT_EQ(facadeRequests, 1);
  EXPECT_EQ(registry->last()->callsStartingWith("ClearAllRect").size(), 1u);
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(closes, 1);

  facade = nullptr;  // no facade can be made: the index is still stored
  window->roiPullDownButton()->setCurrentIndex(0);
  window->onClickRoiOk();
  EXPECT_EQ(config->roiRecordIndex, 0);
  EXPECT_EQ(loads, 2);
  EXPECT_EQ(closes, 2);
}

// The real facade: before its set-up (no camera) clearing is a no-op and the index waits for
// the next connection; set up, applying "none" clears every rectangle.
TEST_F(SettingViewControllerTest, ApplyingWithTheRealFacadeWithAndWithoutACamera) {
  auto selvo = std::make_shared<orlith::ISelvoServiceManage>();
  selvo->initManager(std::make_shared<testsupport::RecordingSelvoFactory>());
  auto real = std::make_shared<SelvoAnalysisFacade>(selvo);
  facade = real;
  auto window = makeWindow();
  window->onClickRoi();
  window->roiPullDownButton()->setCurrentIndex(2);
  window->onClickRoiOk();
  EXPECT_EQ(config->roiRecordIndex, 2);
  EXPECT_EQ(loads, 1);

  // Edits reach the rectangles with the next frame the facade processes.
  int done = 0;
  auto frame = [&] {
    const int target = done + 1;
    real->imageProcessWithPixelBuffer(
        platform::PixelBuffer::create(3840, 1080, platform::PixelFormat::NV12FullRange),
        [&] { ++done; });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (done < target && std::chrono::steady_clock::now() < deadline) {
      platform::MainQueue::shared().drain();
      std::this_thread::yield();
    }
    ASSERT_EQ(done, target);
  };
  auto manualRects = [&] {
    std::vector<orlith::SelvoRect> rects;
    selvo->GetManualRect(rects);
    return rects.size();
  };
  real->setup(3840, 1080, 1280, 720, 1280, 360, 3840, 1080, true, dir.path() + "/face");
  real->AddNewRect(100, 100, 500, 500);
  real->AddNewRect(900, 100, 1300, 500);
  frame();
  ASSERT_EQ(manualRects(), 2u);
  window->roiPullDownButton()->setCurrentIndex(0);
  window->onClickRoiOk();
  frame();
  EXPECT_EQ(manualRects(), 0u);
  EXPECT_EQ(config->roiRecordIndex, 0);
  real->releaseSelvoInst();
  platform::MainQueue::shared().drain();
}

}  // namespace
}  // namespace corvane
