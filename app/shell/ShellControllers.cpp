#include "shell/ShellControllers.h"

#include <QAction>

#include "shell/AboutViewController.h"
#include "shell/AlertController.h"
#include "shell/AppDelegate.h"
#include "shell/ConnectController.h"
#include "shell/MainPlaceholderController.h"
#include "shell/ShellPopups.h"
#include "widgets/ViewRouter.h"

namespace corvane {

void registerShellControllers() {
  ViewRouter::setMainControllerFactory(
      [] { return new MainPlaceholderController(ConnectController::make()); });
  ViewRouter::setAlertControllerFactory([] { return AlertController::instantiate(); });
}

void registerShellWindows(AppDelegate& delegate) {
  // The diagnostics window registers here once it exists; until then its key sequence logs
  // that there is no window to show.
  delegate.setAboutWindowFactory([] { return AboutViewController::instantiate(); });
  // The language and settings popups until the main window fills their slots itself.
  ShellPopups::install(delegate.menuLanguageEvent, delegate.menuPreferencesiEvent);
  // The settings item belongs to the main window, which opens its preferences from it; no
  // action of the delegate calls that slot.
  QObject::connect(delegate.menuSetting(), &QAction::triggered, &delegate, [&delegate] {
    if (delegate.menuPreferencesiEvent) delegate.menuPreferencesiEvent();
  });
}

}  // namespace corvane
