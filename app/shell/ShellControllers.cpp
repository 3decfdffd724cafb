#include "shell/ShellControllers.h"

#include "shell/AppDelegate.h"
#include "shell/ConnectController.h"
#include "main/MainController.h"
#include "widgets/ViewRouter.h"

namespace corvane {

void registerShellControllers() {
  ViewRouter::setMainControllerFactory([] { return MainController::fromStoryboard(); });
}

void registerShellWindows(AppDelegate& delegate) {
  // The About and diagnostics windows register here once they exist; until then their items
  // log that there is no window to show.
  (void)delegate;
}

}  // namespace corvane
