#include "shell/ShellControllers.h"

#include "shell/AlertController.h"
#include "shell/ConnectController.h"
#include "shell/MainPlaceholderController.h"
#include "widgets/ViewRouter.h"

namespace corvane {

void registerShellControllers() {
  ViewRouter::setMainControllerFactory(
      [] { return new MainPlaceholderController(ConnectController::make()); });
  ViewRouter::setAlertControllerFactory([] { return AlertController::instantiate(); });
}

}  // namespace corvane
