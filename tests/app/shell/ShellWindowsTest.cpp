#include <QAction>
#include <QApplication>

#include "ShellFixture.h"
#include "shell/AboutViewController.h"
#include "shell/LanguageViewController.h"
#include "shell/SettingViewController.h"
#include "shell/ShellControllers.h"
#include "widgets/ViewRouter.h"

namespace shelltest {
namespace {

class ShellWindows : public ShellFixture {};

// The menu items reach the windows of the running program: a new About window on every
// selection, the language popup from its item and the settings popup from the settings item,
// both over the router's main controller.
TEST_F(ShellWindows, TheMenuItemsOpenTheAboutWindowAndThePopups) {
  // The router is made once per process: an earlier test may have made it and its popups.
  corvane::ViewRouter::setFactories([] { return new QWidget(); }, [] { return nullptr; });
  QWidget* main = corvane::ViewRouter::shared().mainController();
  ASSERT_NE(main, nullptr);
  qDeleteAll(main->findChildren<corvane::LanguageViewController*>());
  qDeleteAll(main->findChildren<corvane::SettingViewController*>());
  corvane::AppDelegate delegate(*camera, delegateEnvironment());
  corvane::registerShellWindows(delegate);

  delegate.menuAboutStudio()->trigger();
  delegate.menuAboutStudio()->trigger();
  std::vector<corvane::AboutViewController*> abouts;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* about = qobject_cast<corvane::AboutViewController*>(w); about && about->isVisible())
      abouts.push_back(about);
  EXPECT_EQ(abouts.size(), 2u) << "one window per selection";
  for (auto* about : abouts) about->close();

  delegate.menuLanguage()->trigger();
  auto* language = main->findChild<corvane::LanguageViewController*>();
  ASSERT_NE(language, nullptr);
  EXPECT_TRUE(language->isVisibleTo(main));

  delegate.menuSetting()->trigger();
  auto* setting = main->findChild<corvane::SettingViewController*>();
  ASSERT_NE(setting, nullptr);
  EXPECT_TRUE(setting->isVisibleTo(main));
  EXPECT_FALSE(language->isVisibleTo(main));
  setting->closeButton()->click();
  EXPECT_FALSE(setting->isVisibleTo(main));
}

}  // namespace
}  // namespace shelltest
