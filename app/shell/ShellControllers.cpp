#include "shell/ShellControllers.h"

#include "shell/AppDelegate.h"
#include "shell/BackDoorController.h"
#include "shell/ConnectController.h"
#include "main/MainController.h"
#include "widgets/ViewRouter.h"

namespace corvane {

void registerShellControllers() {
  ViewRouter::setMainControllerFactory([] { return MainController::fromStoryboard(); });
}

void registerShellWindows(AppDelegate& delegate) {
  // The About window registers here once it exists; until then its item logs that there is no
  // window to show.
  delegate.setBackDoorWindowFactory([] { return BackDoorController::windowController().window(); });
}

}  // namespace corvane
