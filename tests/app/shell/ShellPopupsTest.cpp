#include <gtest/gtest.h>

#include "ShellTestRig.h"
#include "config/ConfigManager.h"
#include "shell/ShellPopups.h"
#include "widgets/ViewRouter.h"

namespace corvane {
namespace {

class ShellPopupsTest : public ::testing::Test, public shelltest::ShellTestRig {
 protected:
  std::unique_ptr<LanguageManager> manager = languages("en");
  std::unique_ptr<ConfigManager> config = [this] {
    ConfigManager::Environment env;
    env.defaults = &defaults;
    env.bundle = &bundle;
    return std::make_unique<ConfigManager>(env);
  }();
  int languagesMade = 0;
  int settingsMade = 0;

  ShellPopups::Factories factories() {
    ShellPopups::Factories f;
    f.language = [this] {
      ++languagesMade;
      LanguageViewController::Environment env;
      env.languages = manager.get();
      env.defaults = &defaults;
      env.workspace = &workspace;
      env.alerts = &alerts;
      return new LanguageViewController(env);
    };
    f.setting = [this] {
      ++settingsMade;
      SettingViewController::Environment env;
      env.languages = manager.get();
      env.defaults = &defaults;
      env.alerts = &alerts;
      env.config = config.get();
      return new SettingViewController(env);
    };
    return f;
  }
};

TEST_F(ShellPopupsTest, PopupsAreMadeOnceCentredOverTheWindowAndCloseThemselves) {
  host.show();
  ShellPopups popups(&host, factories());
  EXPECT_EQ(popups.languageViewController(), nullptr);
  popups.showLanguage();
  auto* language = popups.languageViewController();
  ASSERT_NE(language, nullptr);
  EXPECT_EQ(language->parentWidget(), &host);
  EXPECT_TRUE(language->isVisible());
  EXPECT_EQ(language->geometry().center(), host.rect().center());
  language->closeButton()->click();
  EXPECT_FALSE(language->isVisible());
  popups.showLanguage();
  EXPECT_EQ(popups.languageViewController(), language);
  EXPECT_EQ(languagesMade, 1);

  popups.showSettings();
  auto* setting = popups.settingViewController();
  ASSERT_NE(setting, nullptr);
  EXPECT_TRUE(setting->isVisible());
  EXPECT_FALSE(language->isVisible()) << "one popup at a time";
  host.resize(1200, 800);
  EXPECT_EQ(setting->geometry().center(), host.rect().center());

  setting->onClickRoi();
  setting->closeButton()->click();
  EXPECT_FALSE(setting->isVisible());
  popups.showSettings();
  EXPECT_EQ(setting->currentState, SettingState::Roi) << "reopens on the last pane";
  EXPECT_TRUE(setting->roiView()->isVisible());
  EXPECT_EQ(settingsMade, 1);

  EXPECT_TRUE(popups.hideAll());
  EXPECT_FALSE(popups.hideAll());
}

TEST_F(ShellPopupsTest, TheRestartAlertComesOverThePopup) {
  host.show();
  ShellPopups popups(&host, factories());
  popups.showLanguage();
  popups.languageViewController()->okButton()->click();
  ASSERT_TRUE(alerts.isShow);
  const QPoint centre = host.rect().center();
  EXPECT_EQ(host.childAt(centre)->window(), &host);
  QWidget* top = host.childAt(centre);
  while (top && top != alert) top = top->parentWidget();
  EXPECT_EQ(top, alert) << "the alert lies on top of the popup";
  answerAlert(false);
}

// The only test of this program that asks the view router: its controllers are made once.
TEST_F(ShellPopupsTest, TheMenuSlotsOpenThePopupsOverTheRoutersMainController) {
  // The router is made once per process: an earlier test may have made it and its popups.
  ViewRouter::setFactories([] { return new QWidget(); },
                           [] { return AlertController::instantiate(); });
  std::function<void()> languageEvent, preferencesEvent;
  ShellPopups::install(languageEvent, preferencesEvent, factories());
  ASSERT_TRUE(languageEvent && preferencesEvent);
  QWidget* main = ViewRouter::shared().mainController();
  ASSERT_NE(main, nullptr);
  qDeleteAll(main->findChildren<LanguageViewController*>());
  qDeleteAll(main->findChildren<SettingViewController*>());
  EXPECT_EQ(languagesMade, 0) << "nothing is made before the first selection";
  languageEvent();
  auto* language = main->findChild<LanguageViewController*>();
  ASSERT_NE(language, nullptr);
  EXPECT_TRUE(language->isVisibleTo(main));
  preferencesEvent();
  auto* setting = main->findChild<SettingViewController*>();
  ASSERT_NE(setting, nullptr);
  EXPECT_TRUE(setting->isVisibleTo(main));
  EXPECT_FALSE(language->isVisibleTo(main));
  languageEvent();
  EXPECT_EQ(languagesMade, 1);
  EXPECT_EQ(settingsMade, 1);
}

}  // namespace
}  // namespace corvane
