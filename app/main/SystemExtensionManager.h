#pragma once

#include <functional>

namespace corvane {

// Installs and removes the program's virtual camera (the loopback video device). One
// process-wide instance.
class SystemExtensionManager {
 public:
  using CompletionHandler = std::function<void(bool deactivated)>;

  static SystemExtensionManager& shared();
  SystemExtensionManager() = default;
  virtual ~SystemExtensionManager() = default;

  virtual void activateCameraExtension();
  // Calls the handler once, on whatever thread the outcome is known: true when the virtual
  // camera is gone (or was never there), false on failure.
  virtual void deactivateCameraExtension(CompletionHandler completionHandler);
};

}  // namespace corvane
