#include <QAction>
#include <QApplication>
#include <QPointer>
#include <QTest>

#include "ShellFixture.h"
#include "shell/AboutViewController.h"
#include "shell/SharedWindow.h"
#include "shell/ShellControllers.h"
#include "widgets/FocusRing.h"

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

// The About and diagnostics windows close on Escape and Ctrl+W, as their title bar's close.
TEST_F(ShellWindows, AboutAndDiagnosticsCloseOnEscapeAndCtrlW) {
  corvane::AppDelegate delegate(*camera, delegateEnvironment());
  corvane::registerShellWindows(delegate);
  QPointer<QWidget> diagnostics;
  delegate.setBackDoorWindowFactory([&diagnostics]() -> QWidget* {
    diagnostics = new QWidget();
    diagnostics->setWindowFlag(Qt::Window);
    return diagnostics;
  });
  auto about = [] {
    QWidget* shown = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (qobject_cast<corvane::AboutViewController*>(w) && w->isVisible()) shown = w;
    return shown;
  };
  for (QKeySequence keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
    SCOPED_TRACE(keys.toString().toStdString());
    delegate.menuAboutStudio()->trigger();
    QWidget* window = about();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->findChild<corvane::FocusRing*>()) << "the About window shows its focus";
    QApplication::setActiveWindow(window);
    QTest::keySequence(window, keys);
    EXPECT_FALSE(window == about() && window->isVisible());
    delegate.onClickBackDoor();
    ASSERT_TRUE(diagnostics && diagnostics->isVisible());
    QApplication::setActiveWindow(diagnostics);
    QTest::keySequence(diagnostics, keys);
    EXPECT_FALSE(diagnostics->isVisible());
  }
  QApplication::setActiveWindow(nullptr);
  delete diagnostics;
}

// A window the program keeps (the file player) closes on Escape and Ctrl+W, shows its focus,
// and Ctrl+Q quits from it as from the main window; its keys are given once however often it
// opens.
TEST_F(ShellWindows, AKeptWindowClosesOnItsKeysShowsItsFocusAndCtrlQQuitsFromIt) {
  corvane::AppDelegate delegate(*camera, delegateEnvironment());
  delegate.menuBar()->show();  // where the main window carries it
  corvane::SharedWindow<QWidget> kept([] { return std::make_unique<QWidget>(); });
  for (QKeySequence keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
    SCOPED_TRACE(keys.toString().toStdString());
    QWidget* window = kept.showWindow();
    ASSERT_TRUE(window && window->isVisible());
    QApplication::setActiveWindow(window);
    QTest::keySequence(window, keys);
    EXPECT_FALSE(window->isVisible());
  }
  EXPECT_EQ(kept.window()->findChildren<corvane::FocusRing*>().size(), 1);
  EXPECT_EQ(kept.window()->findChildren<QAction*>().size(), 1);
  QWidget* window = kept.showWindow();
  QApplication::setActiveWindow(window);
  QTest::keySequence(window, QKeySequence(Qt::CTRL | Qt::Key_Q));
  EXPECT_EQ(terminated, 1);
  QApplication::setActiveWindow(nullptr);
}

}  // namespace
}  // namespace shelltest
