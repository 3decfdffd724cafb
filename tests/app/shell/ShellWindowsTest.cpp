#include <QAction>
#include <QApplication>

#include "ShellFixture.h"
#include "shell/AboutViewController.h"
#include "shell/ShellControllers.h"

namespace shelltest {
namespace {

class ShellWindows : public ShellFixture {};

// A new About window on every selection; the settings item opens what the main window put in
// the preferences slot.
TEST_F(ShellWindows, TheAboutItemMakesANewWindowAndTheSettingsItemOpensThePreferences) {
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

  int preferences = 0;
  delegate.menuSetting()->trigger();
  delegate.menuPreferencesiEvent = [&preferences] { ++preferences; };
  delegate.menuSetting()->trigger();
  EXPECT_EQ(preferences, 1);
}

}  // namespace
}  // namespace shelltest
