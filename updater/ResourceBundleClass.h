#pragma once

namespace updater {

// Names the updater's own bundle: its Info values and its resources folder
// (share/corvane-studio-updater/).
class ResourceBundleClass {
 public:
  static void configureBundle();
};

}  // namespace updater
