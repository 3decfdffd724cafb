#include "main/SystemExtensionManager.h"

#include "log/LogManager.h"

namespace corvane {

SystemExtensionManager& SystemExtensionManager::shared() {
  static SystemExtensionManager manager;
  return manager;
}

void SystemExtensionManager::activateCameraExtension() {
  CV_LOG_DEBUG("Activate camera extension");
}

void SystemExtensionManager::deactivateCameraExtension(CompletionHandler completionHandler) {
  CV_LOG_DEBUG("Deactivate camera extension");
  // No loopback device can be removed yet: the removal reports failure.
  if (completionHandler) completionHandler(false);
}

}  // namespace corvane
