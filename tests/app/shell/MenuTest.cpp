#include <QAction>
#include <QMenu>

#include "ShellFixture.h"
#include "i18n/Localized.h"
#include "shell/MenuRules.h"

namespace shelltest {
namespace {

using corvane::ConnectMode;
using corvane::MenuRules;

TEST(MenuRules, VisibilityFollowsTheConfiguration) {
  struct Row {
    bool staging;
    const char* name;
    bool newLayout, ota, report;
    MenuRules::Hidden hidden;  // setting, manual, autoDetect, detectOnce, autoTrack, report
  };
  const Row rows[] = {
      {false, "Corvane Studio", false, true, true, {true, true, false, true, true, false}},
      {true, "Corvane studio", true, true, true, {false, false, true, false, false, false}},
      {false, "Velmira Studio", false, true, false, {true, false, false, true, true, true}},
      {false, "Velmira Studio", false, false, true, {true, false, false, true, true, true}},
      {false, "Velmira studio", false, false, false, {true, true, false, true, true, true}},
      {false, "", true, true, true, {true, true, true, false, false, false}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    MenuRules::Configuration c{row.staging, row.name, row.newLayout, row.ota, row.report};
    EXPECT_EQ(MenuRules::hidden(c), row.hidden);
  }
}

TEST(MenuRules, EditItemsNeedAConnectedCamera) {
  for (ConnectMode mode :
       {ConnectMode::searching, ConnectMode::connecting, ConnectMode::disconnected}) {
    // Disabled, and the check marks are left alone whatever the switches say.
    EXPECT_EQ(MenuRules::editItems(mode, true, true), MenuRules::EditItems{});
  }
  auto tracking = MenuRules::editItems(ConnectMode::connected, true, true);
  EXPECT_EQ(tracking.autoDetect, (MenuRules::Item{true, true}));
  EXPECT_EQ(tracking.detectOnce, (MenuRules::Item{false, std::nullopt}));
  EXPECT_EQ(tracking.autoTrack, (MenuRules::Item{true, true}));
  for (auto item : {tracking.removeAll, tracking.loadRoi, tracking.saveRoi})
    EXPECT_EQ(item, (MenuRules::Item{true, std::nullopt}));
  auto idle = MenuRules::editItems(ConnectMode::connected, false, false);
  EXPECT_EQ(idle.autoDetect, (MenuRules::Item{true, false}));
  EXPECT_EQ(idle.detectOnce, (MenuRules::Item{true, std::nullopt}));
  EXPECT_EQ(idle.autoTrack, (MenuRules::Item{true, false}));
}

class AppDelegateMenus : public ShellFixture {};

TEST_F(AppDelegateMenus, LaunchHidesAndTitlesTheItemsFromTheLoadedConfiguration) {
  config->isStaging = true;
  config->enableNewDetectLayout = true;
  config->enableOta = true;
  config->enableReport = false;
  corvane::AppDelegate delegate(*camera, delegateEnvironment());
  clock.advance(std::chrono::seconds(5));
  delegate.applicationDidFinishLaunching();

  EXPECT_EQ(delegate.registeredDefaults().at("NSApplicationCrashOnExceptions"), true);
  EXPECT_EQ(delegate.appStartTime(), clock.now());
  EXPECT_TRUE(delegate.menuSetting()->isVisible());
  EXPECT_FALSE(delegate.menuManual()->isVisible());  // "Corvane Studio" is not in the list
  EXPECT_FALSE(delegate.menuAutoDetect()->isVisible());
  EXPECT_TRUE(delegate.menuDetectOnce()->isVisible());
  EXPECT_TRUE(delegate.menuAutoTrack()->isVisible());
  EXPECT_FALSE(delegate.menuReport()->isVisible());

  auto title = [](const char* key) { return QString::fromStdString(corvane::localized(key)); };
  EXPECT_EQ(delegate.menuEdit()->title(), title("menu_edit_name"));
  EXPECT_EQ(delegate.menuAbout()->title(), title("menu_help_about_name"));
  EXPECT_EQ(delegate.menuAboutStudio()->text(), title("menu_help_about_desc"));
  EXPECT_EQ(delegate.menuAutoDetect()->text(), delegate.menuDetectOnce()->text());
  EXPECT_EQ(delegate.menuQuit()->text(), title("menu_quit"));
  EXPECT_EQ(delegate.menuSaveRoi()->text(), title("menu_edit_save_roi"));
  EXPECT_FALSE(delegate.menuQuit()->text().isEmpty());
  // Ctrl+Q beside Quit, whatever key scheme the platform theme has (this one binds no quit).
  EXPECT_EQ(delegate.menuQuit()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
  EXPECT_EQ(delegate.menuQuit()->shortcut().toString(QKeySequence::PortableText), "Ctrl+Q");
  EXPECT_FALSE(delegate.menuSetting()->text().isEmpty());  // keeps its own title
}

TEST_F(AppDelegateMenus, ActionsCallTheirSlotsAndEmptySlotsDoNothing) {
  corvane::AppDelegate delegate(*camera, delegateEnvironment());
  std::vector<std::string> calls;
  auto slot = [&calls](const char* name) { return [&calls, name] { calls.push_back(name); }; };
  // With every slot empty, every item does nothing (and nothing crashes).
  for (QAction* action : delegate.menuBar()->findChildren<QAction*>()) {
    if (action == delegate.menuQuit()) continue;
    action->setEnabled(true);
    action->trigger();
  }
  EXPECT_TRUE(calls.empty());

  delegate.menuLanguageEvent = slot("language");
  delegate.menuUpdateEvent = slot("update");
  delegate.menuAutoDetectEvent = slot("autoDetect");
  delegate.menuDetectOnceEvent = slot("detectOnce");
  delegate.menuAutoTrackEvent = slot("autoTrack");
  delegate.menuCleanAllEvent = slot("cleanAll");
  delegate.menuLoadRoiEvent = slot("loadRoi");
  delegate.menuSaveRoiEvent = slot("saveRoi");
  delegate.menuPreferencesiEvent = slot("preferences");
  delegate.menuTrackAllEvent = slot("trackAll");
  delegate.menuUntrackAllEvent = slot("untrackAll");
  delegate.menuWebsiteEvent = slot("website");
  for (QAction* action :
       {delegate.menuLanguage(), delegate.menuUpdate(), delegate.menuAutoDetect(),
        delegate.menuDetectOnce(), delegate.menuAutoTrack(), delegate.menuRemoveAll(),
        delegate.menuLoadRoi(), delegate.menuSaveRoi(), delegate.menuSetting()})
    action->trigger();
  EXPECT_EQ(calls, (std::vector<std::string>{"language", "update", "autoDetect", "detectOnce",
                                             "autoTrack", "cleanAll", "loadRoi", "saveRoi"}));
  delegate.menuQuit()->trigger();
  EXPECT_EQ(terminated, 1);
}

TEST_F(AppDelegateMenus, TheDiagnosticsWindowOpensOnlyByItsKeysAndIsMadeOnce) {
  corvane::AppDelegate delegate(*camera, delegateEnvironment());
  for (QMenu* menu : delegate.menuBar()->findChildren<QMenu*>())
    for (QAction* action : menu->actions())
      EXPECT_NE(action->shortcut(), corvane::AppDelegate::backDoorKeys())
          << action->objectName().toStdString();
  EXPECT_EQ(delegate.backDoorAction()->shortcut(), corvane::AppDelegate::backDoorKeys());

  int made = 0;
  QWidget* window = nullptr;
  delegate.setBackDoorWindowFactory([&] {
    ++made;
    return window = new QWidget();
  });
  delegate.backDoorAction()->trigger();
  delegate.backDoorAction()->trigger();
  EXPECT_EQ(made, 1);
  ASSERT_TRUE(window);
  EXPECT_TRUE(window->isVisible());
  delete window;
}

TEST_F(AppDelegateMenus, EditItemsFollowTheCameraStateAsItChanges) {
  corvane::AppDelegate delegate(*camera, delegateEnvironment());
  EXPECT_FALSE(delegate.menuAutoDetect()->isEnabled());
  camera->isAutoDetect->setValue(true);
  camera->connectMode->setValue(ConnectMode::connected);
  platform::MainQueue::shared().drain();
  delegate.updateMenuItems();  // the camera manager calls it on its changes
  EXPECT_TRUE(delegate.menuAutoDetect()->isEnabled());
  EXPECT_TRUE(delegate.menuAutoDetect()->isChecked());
  EXPECT_TRUE(delegate.menuSaveRoi()->isEnabled());
  camera->connectMode->setValue(ConnectMode::connecting);
  delegate.updateMenuItems();
  EXPECT_FALSE(delegate.menuAutoDetect()->isEnabled());
  EXPECT_TRUE(delegate.menuAutoDetect()->isChecked());
}

}  // namespace
}  // namespace shelltest
