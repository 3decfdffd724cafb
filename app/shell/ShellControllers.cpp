#include "shell/ShellControllers.h"

#include <QAction>

#include "main/MainController.h"
#include "shell/AboutViewController.h"
#include "shell/AlertController.h"
#include "shell/AppDelegate.h"
#include "shell/BackDoorController.h"
#include "shell/ConnectController.h"
#include "widgets/ViewRouter.h"

namespace corvane {

void registerShellControllers() {
  ViewRouter::setMainControllerFactory([] { return MainController::fromStoryboard(); });
  ViewRouter::setAlertControllerFactory([] { return AlertController::instantiate(); });
}

void registerShellWindows(AppDelegate& delegate) {
  delegate.setAboutWindowFactory([] { return AboutViewController::instantiate(); });
  delegate.setBackDoorWindowFactory([] { return BackDoorController::windowController().window(); });
  // The settings item belongs to the main window, which opens its preferences from it; no
  // action of the delegate calls that slot.
  QObject::connect(delegate.menuSetting(), &QAction::triggered, &delegate, [&delegate] {
    if (delegate.menuPreferencesiEvent) delegate.menuPreferencesiEvent();
  });
}

}  // namespace corvane
