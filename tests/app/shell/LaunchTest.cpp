#include <QGraphicsOpacityEffect>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <filesystem>

#include "RecordingMainController.h"
#include "ShellFixture.h"
#include "i18n/Localized.h"
#include "shell/CustomWindow.h"
#include "shell/LaunchViewController.h"
#include "widgets/CustomButton.h"
#include "widgets/CustomView.h"
#include "widgets/FocusRing.h"

namespace shelltest {
namespace {

using corvane::LaunchViewController;
using namespace std::chrono_literals;

class Launch : public ShellFixture {
 protected:
  int setups = 0;
  int searches = 0;
  bool connected = false;
  std::vector<QString> told;  // the alerts shown
  std::function<void()> afterSetup;
  QPointer<RecordingMainController> main = new RecordingMainController();
  corvane::CustomWindow window{[this] {
    return connected ? corvane::ConnectMode::connected : corvane::ConnectMode::searching;
  }};
  QPointer<LaunchViewController> launch;

  ~Launch() override { delete main; }

  LaunchViewController::Environment environment() {
    LaunchViewController::Environment env;
    env.config = config.get();
    env.defaults = &defaults;
    env.bundle = &bundle;
    env.clock = &clock;
    env.main = &platform::MainQueue::shared();
    env.languages = &languages();
    env.setupConfiguration = [this] {
      ++setups;
      config->setup();
      if (afterSetup) afterSetup();
    };
    env.searchCamera = [this] { ++searches; };
    env.isCameraConnected = [this] { return connected; };
    env.mainController = [this] { return main.data(); };
    env.screens = [] { return std::vector<QRect>{QRect(0, 0, 1920, 1080)}; };
    env.arguments = {"/usr/bin/corvane-studio"};
    env.showAlert = [this](const QString& message) { told.push_back(message); };
    return env;
  }

  // The launch screen in the window, loaded as at start.
  void start(std::vector<std::string> arguments = {"/usr/bin/corvane-studio"}) {
    auto env = environment();
    env.arguments = std::move(arguments);
    launch = new LaunchViewController(env);
    window.setMainContent(launch);
    window.resize(800, 450);
    launch->viewDidLoad();
  }

  void passTime(std::chrono::milliseconds by) {
    clock.advance(by);
    platform::MainQueue::shared().drain();
  }
};

TEST_F(Launch, FirstRunStoresTheVersionAndLoadsOnce) {
  log.clear();
  start();
  EXPECT_EQ(defaults.string("CurrentVersion"), "2.3.0");
  EXPECT_EQ(setups, 1);
  // Each loader's lines once: a second load would write every start-up error twice.
  for (const char* line :
       {"loadCustomConfig from Bundle", "loadPresets from Bundle", "No setting file"})
    EXPECT_EQ(count(line), 1u) << line;
  EXPECT_EQ(searches, 1);
  EXPECT_EQ(launch->versionLabel->text().toStdString(),
            corvane::localized("version_text") + " 2.3.0");
  EXPECT_EQ(launch->skipButton->title().toStdString(), corvane::localized("skip_name"));
  EXPECT_EQ(launch->rightLabel->text().toStdString(), corvane::localized("copyright_text"));
  EXPECT_EQ(config->tutorialCount, 3);  // the shipped configuration was loaded
  EXPECT_EQ(launch->launchBottomView->layerBackgroundColor(), *config->launchBarColor);
  EXPECT_FALSE(launch->logoImageView->pixmap().isNull());
}

TEST_F(Launch, SameVersionKeepsTheStoredChoices) {
  defaults.set("CurrentVersion", "2.3.0");
  defaults.set("TutorialSkip", true);
  defaults.set("WindowWidth", 1000);
  start();
  EXPECT_TRUE(defaults.boolean("TutorialSkip"));
  EXPECT_EQ(defaults.integer("WindowWidth"), 1000);
  EXPECT_EQ(launch->scheduledStep(), "showMain");
}

TEST_F(Launch, UpgradeForgetsEveryPreferenceAndThePresets) {
  config->setup();
  config->presets.at(0).displayName = "Marker";
  config->savePresetFile();
  ASSERT_TRUE(fs::exists(userPresets()));
  defaults.set("CurrentVersion", "2.2.9");
  for (const char* key : {"TutorialSkip", "WindowWidth", "WindowHeight", "WindowX", "WindowY"})
    defaults.set(key, 1);
  defaults.set("CurrentLanguage", "zh-Hant");

  start();
  EXPECT_EQ(defaults.keys(), QStringList{"CurrentVersion"});
  EXPECT_EQ(defaults.string("CurrentVersion"), "2.3.0");
  EXPECT_EQ(setups, 1);
  for (const auto& preset : config->presets) EXPECT_NE(preset.displayName, "Marker");
  EXPECT_EQ(launch->scheduledStep(), "showTutorial");  // the tutorial shows again
}

TEST_F(Launch, SplashChoosesTheTutorialOrTheMainWindow) {
  struct Row {
    bool skip, enable;
    int count;
    const char* step;
  };
  const Row rows[] = {{false, true, 3, "showTutorial"}, {true, true, 3, "showMain"},
                      {false, false, 3, "showMain"},    {false, true, 0, "showMain"},
                      {false, true, -1, "showMain"},    {false, true, 1, "showTutorial"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.count) + row.step);
    defaults.set("CurrentVersion", "2.3.0");
    defaults.set("TutorialSkip", row.skip);
    afterSetup = [this, row] {
      config->enableTutorial = row.enable;
      config->tutorialCount = row.count;
    };
    start();
    EXPECT_EQ(launch->scheduledStep(), row.step);
    delete launch;
  }
}

TEST_F(Launch, TheSplashLastsThreeSecondsOnTheClock) {
  start();
  ASSERT_EQ(launch->scheduledStep(), "showTutorial");
  passTime(2999ms);
  EXPECT_TRUE(launch->tutorialBottomView->isHidden());
  passTime(1ms);
  EXPECT_FALSE(launch->tutorialBottomView->isHidden());
  EXPECT_TRUE(launch->launchBottomView->isHidden());
  EXPECT_TRUE(launch->versionLabel->isHidden());
  EXPECT_TRUE(launch->startButton->isHidden());
  EXPECT_FALSE(launch->skipButton->isHidden());
  passTime(10s);  // one shot
  EXPECT_EQ(window.mainContent(), launch.data());
}

// "Do not show again" is kept at once; when it cannot be, the user is told why.
TEST_F(Launch, ATutorialChoiceThatCannotBeKeptIsTold) {
  start();
  launch->showTutorial();
  // A folder where the settings file goes: no write reaches it, not even root's.
  const std::string file = defaults.filePath().toStdString();
  std::filesystem::remove(file);
  std::filesystem::create_directory(file);
  QTest::mouseClick(launch->rememberButton, Qt::LeftButton);
  std::string why;
  ASSERT_FALSE(defaults.synchronize(&why));
  EXPECT_EQ(told, std::vector<QString>{QString::fromStdString(corvane::localized(
                                           "alert_setting_not_saved"))
                                           .arg(QString::fromStdString(why))});
  EXPECT_TRUE(told.empty() || told[0].startsWith("The setting was not saved: "))
      << told[0].toStdString();
}

TEST_F(Launch, TutorialPagesMoveWithinTheirCount) {
  start();
  launch->showTutorial();
  auto opacities = [this] {
    std::vector<double> values;
    for (QLabel* dot : launch->dotIndexImageView)
      values.push_back(static_cast<QGraphicsOpacityEffect*>(dot->graphicsEffect())->opacity());
    return values;
  };
  ASSERT_EQ(launch->dotIndexImageView.size(), 3u);
  EXPECT_FALSE(launch->contentImage->pixmap().isNull());
  EXPECT_EQ(opacities(), (std::vector<double>{1.0, 0.3, 0.3}));
  EXPECT_EQ(LaunchViewController::alpha(launch->prevButton), 0.0);

  launch->onClickPrevTutorial();  // page 1: nothing
  EXPECT_EQ(launch->tutorialIndex(), 0);
  QTest::mouseClick(launch->nextButton, Qt::LeftButton);
  EXPECT_EQ(launch->tutorialIndex(), 1);
  EXPECT_EQ(LaunchViewController::alpha(launch->prevButton), 1.0);
  EXPECT_EQ(opacities(), (std::vector<double>{0.3, 1.0, 0.3}));
  launch->onClickNextTutorial();
  EXPECT_EQ(launch->tutorialIndex(), 2);
  EXPECT_EQ(LaunchViewController::alpha(launch->nextButton), 0.0);
  EXPECT_TRUE(launch->skipButton->isHidden());
  EXPECT_FALSE(launch->startButton->isHidden());
  launch->onClickNextTutorial();  // last page: nothing
  EXPECT_EQ(launch->tutorialIndex(), 2);
  launch->onClickPrevTutorial();
  EXPECT_EQ(launch->tutorialIndex(), 1);
  EXPECT_FALSE(launch->skipButton->isHidden());
  EXPECT_TRUE(launch->startButton->isHidden());
  EXPECT_EQ(LaunchViewController::alpha(launch->nextButton), 1.0);
  launch->onClickPrevTutorial();
  EXPECT_EQ(LaunchViewController::alpha(launch->prevButton), 0.0);
  EXPECT_EQ(opacities(), (std::vector<double>{1.0, 0.3, 0.3}));

  QTest::mouseClick(launch->rememberButton, Qt::LeftButton);
  EXPECT_TRUE(defaults.boolean("TutorialSkip"));
  EXPECT_TRUE(launch->rememberButton->isSelected);
  launch->onClickRemember();
  EXPECT_FALSE(defaults.boolean("TutorialSkip"));

  QTest::mouseClick(launch->skipButton, Qt::LeftButton);
  EXPECT_EQ(window.mainContent(), main.data());
}

// From the keyboard: Tab reaches the page's buttons that show, each outlined, never the faded
// out arrow; Return and Space press them, and the main window takes over from Skip.
TEST_F(Launch, TheKeyboardPagesThroughTheTutorial) {
  start();
  launch->showTutorial();
  window.show();
  QApplication::setActiveWindow(&window);
  auto ring = launch->findChild<corvane::FocusRing*>();
  ASSERT_TRUE(ring);
  auto round = [&] {
    std::vector<QWidget*> stops;
    for (int i = 0; i < 12; ++i) {
      QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &window,
                      Qt::Key_Tab);
      QWidget* now = QApplication::focusWidget();
      if (!now || (!stops.empty() && now == stops.front())) break;
      stops.push_back(now);
      EXPECT_EQ(ring->target(), now);
      EXPECT_TRUE(ring->isVisible());
    }
    // One round, read from the tick box on.
    auto first = std::find(stops.begin(), stops.end(), launch->rememberButton);
    if (first != stops.end()) std::rotate(stops.begin(), first, stops.end());
    return stops;
  };
  EXPECT_EQ(round(), (std::vector<QWidget*>{launch->rememberButton, launch->nextButton,
                                            launch->skipButton}));
  launch->nextButton->setFocus(Qt::TabFocusReason);
  QTest::keyClick(launch->nextButton, Qt::Key_Return);
  EXPECT_EQ(launch->tutorialIndex(), 1);
  EXPECT_EQ(round(), (std::vector<QWidget*>{launch->rememberButton, launch->prevButton,
                                            launch->nextButton, launch->skipButton}));
  QTest::keyClick(launch->skipButton, Qt::Key_Space);
  EXPECT_EQ(window.mainContent(), main.data());
  QApplication::setActiveWindow(nullptr);
}

// The last page's arrow goes under the keyboard's focus: the focus moves on to Start, so the
// next Space starts instead of unticking "Don't ask again"; the first page's arrow likewise.
TEST_F(Launch, TheArrowThatGoesHandsItsFocusOnAndNeverToTheTickBox) {
  start();
  launch->showTutorial();
  window.show();
  QApplication::setActiveWindow(&window);
  launch->nextButton->setFocus(Qt::TabFocusReason);
  QTest::keyClick(launch->nextButton, Qt::Key_Space);
  ASSERT_EQ(launch->tutorialIndex(), 1);
  launch->prevButton->setFocus(Qt::TabFocusReason);
  QTest::keyClick(launch->prevButton, Qt::Key_Space);
  ASSERT_EQ(launch->tutorialIndex(), 0);
  EXPECT_EQ(QApplication::focusWidget(), launch->nextButton);
  QTest::keyClick(launch->nextButton, Qt::Key_Space);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  ASSERT_EQ(launch->tutorialIndex(), 2);
  EXPECT_EQ(QApplication::focusWidget(), launch->startButton);
  EXPECT_FALSE(launch->rememberButton->isSelected);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  EXPECT_FALSE(defaults.boolean("TutorialSkip"));
  EXPECT_EQ(window.mainContent(), main.data());
  QApplication::setActiveWindow(nullptr);
}

// The tutorial comes up with the keyboard on its arrow: the first Space pages on, with no Tab first.
TEST_F(Launch, TheTutorialStartsOnItsArrow) {
  start();
  launch->showTutorial();
  window.show();
  QApplication::setActiveWindow(&window);
  ASSERT_EQ(QApplication::focusWidget(), launch->nextButton);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  EXPECT_EQ(launch->tutorialIndex(), 1);
  QApplication::setActiveWindow(nullptr);
}

TEST_F(Launch, OnePageHasNoDots) {
  afterSetup = [this] { config->tutorialCount = 1; };
  start();
  launch->showTutorial();
  EXPECT_TRUE(launch->dotIndexImageView.empty());
  launch->onClickNextTutorial();
  EXPECT_EQ(launch->tutorialIndex(), 0);
}

TEST_F(Launch, MainWindowTakesTheMainControllerAndTheStoredFrame) {
  defaults.set("CurrentVersion", "2.3.0");
  defaults.set("WindowWidth", 1000);
  defaults.set("WindowHeight", "600");
  defaults.set("WindowX", 100);
  defaults.set("WindowY", 50);
  start();
  launch->showMain();
  EXPECT_EQ(window.mainContent(), main.data());
  EXPECT_EQ(window.customWindowDelegate(), main.data());
  EXPECT_EQ(window.size(), QSize(1000, 600));
  EXPECT_EQ(window.pos(), QPoint(100, 50));
  EXPECT_EQ(window.minimumSize(), QSize(640, 360));
  EXPECT_EQ(window.maximumSize(), QSize(1920, 1080));
  EXPECT_FALSE(window.windowFlags() & Qt::WindowStaysOnTopHint);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(launch.isNull());
  EXPECT_TRUE(main->simpleUI.empty());
}

// Where the compositor places every window and never says where, a stored place is not applied
// (it is no place at all there) and the window is shown anew at its size, which fits its screen,
// so the compositor puts it where it fits instead of growing it from the launch screen's corner.
TEST_F(Launch, WhereThePlatformPlacesWindowsOnlyTheSizeIsTheProgramsAndFitsTheScreen) {
  window.setWindowSystem(platform::WindowSystem::of("wayland"));
  defaults.set("CurrentVersion", "2.3.0");
  defaults.set("WindowWidth", 4000);
  defaults.set("WindowHeight", 3000);
  defaults.set("WindowX", 307);
  defaults.set("WindowY", 143);
  start();
  window.show();
  int hides = 0;
  struct HideCount : QObject {
    int* count;
    explicit HideCount(int* c) : count(c) {}
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Hide) ++*count;
      return false;
    }
  } counter(&hides);
  window.installEventFilter(&counter);
  launch->showMain();
  window.removeEventFilter(&counter);
  EXPECT_EQ(hides, 1);
  EXPECT_TRUE(window.isVisible());
  const QRect area = window.screen()->availableGeometry();
  EXPECT_TRUE(area.contains(window.geometry()));
  EXPECT_LE(window.frameGeometry().width(), area.width());
  EXPECT_LE(window.frameGeometry().height(), area.height());
  EXPECT_NE(window.frameGeometry().topLeft(), QPoint(307, 143));
  // The screen bounds that size: the compositor, which knows its panels, sizes the window.
  EXPECT_TRUE(window.windowState() & Qt::WindowMaximized);
}

// A stored size the screen holds stays the window's own, unmaximised, there too.
TEST_F(Launch, WhereThePlatformPlacesWindowsASizeThatFitsIsNotMaximised) {
  window.setWindowSystem(platform::WindowSystem::of("wayland"));
  defaults.set("CurrentVersion", "2.3.0");
  defaults.set("WindowWidth", 660);
  defaults.set("WindowHeight", 380);
  start();
  window.show();
  launch->showMain();
  EXPECT_FALSE(window.windowState() & Qt::WindowMaximized);
  EXPECT_EQ(window.size(), QSize(660, 380));
}

TEST_F(Launch, CompactStartWithALiveCameraAsksTheMainController) {
  afterSetup = [this] { config->defaultSimple = true; };
  connected = true;
  start();
  launch->showMain();
  EXPECT_EQ(main->simpleUI, std::vector<bool>{true});
  EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(Launch, TheRemovalRunShowsNothingAndLoadsNothing) {
  start({"/usr/bin/corvane-studio", "-deactivateExt"});
  EXPECT_TRUE(launch->isHidden());
  EXPECT_EQ(setups, 0);
  EXPECT_EQ(searches, 0);
  EXPECT_FALSE(defaults.contains("CurrentVersion"));
  EXPECT_EQ(launch->scheduledStep(), "");
}

}  // namespace
}  // namespace shelltest
