#pragma once

#include <optional>
#include <string>
#include <vector>

#include "camera/ConnectMode.h"

namespace corvane {

// Which menu items show, and which Edit items are enabled and checked: pure functions of the
// configuration and of the camera's state.
class MenuRules {
 public:
  struct Configuration {
    bool isStaging = false;
    std::string programName;  // the bundle's name
    bool enableNewDetectLayout = false;
    bool enableOta = true;
    bool enableReport = true;
  };

  struct Hidden {
    bool menuSetting = false;
    bool menuManual = false;
    bool menuAutoDetect = false;
    bool menuDetectOnce = false;
    bool menuAutoTrack = false;
    bool menuReport = false;
    bool operator==(const Hidden&) const = default;
  };

  struct Item {
    bool enabled = false;
    std::optional<bool> checked;  // none: the check mark stays as it is
    bool operator==(const Item&) const = default;
  };

  struct EditItems {
    Item autoDetect, detectOnce, autoTrack, removeAll, loadRoi, saveRoi;
    bool operator==(const EditItems&) const = default;
  };

  // The program names for which the manual item shows (exact, case-sensitive).
  static const std::vector<std::string>& supportManualList();

  static Hidden hidden(const Configuration& configuration);
  static EditItems editItems(ConnectMode connectMode, bool isAutoDetect, bool isFaceAutoTracking);
};

}  // namespace corvane
