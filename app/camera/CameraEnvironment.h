#pragma once

#include <functional>

#include "camera/CameraManager.h"

namespace corvane {

// What the program's camera manager works with: the system's capture nodes, sysfs and USB side,
// the program's settings, analysis framework and renderer. Whoever runs the program in its own
// process may put other devices in (a simulated camera at the kernel's boundary).
class CameraEnvironment {
 public:
  using Adjustment = std::function<void(CameraManager::Environment&)>;

  // The program's own environment, with the adjustment given to useDevices() applied.
  static CameraManager::Environment process();
  // Changes the environment the program's camera manager is made with; only before the first
  // use of CameraManager::shared().
  static void useDevices(Adjustment adjust);
};

}  // namespace corvane
