#pragma once

namespace platform {

// Hands the main queue's tasks to the Qt event loop of the running application.
class QtMainQueue {
 public:
  // Call on the main thread once the QCoreApplication exists.
  static void install();
  // Back to the pump (before the application object goes away).
  static void uninstall();
};

}  // namespace platform
