#include "shell/MenuRules.h"

#include <algorithm>

namespace corvane {

const std::vector<std::string>& MenuRules::supportManualList() {
  static const std::vector<std::string> names{"Velmira Studio", "Corvane studio"};
  return names;
}

MenuRules::Hidden MenuRules::hidden(const Configuration& c) {
  const auto& manual = supportManualList();
  Hidden h;
  h.menuSetting = !c.isStaging;
  h.menuManual = std::find(manual.begin(), manual.end(), c.programName) == manual.end();
  h.menuAutoDetect = c.enableNewDetectLayout;
  h.menuDetectOnce = !c.enableNewDetectLayout;
  h.menuAutoTrack = !c.enableNewDetectLayout;
  h.menuReport = !c.enableOta || !c.enableReport;
  return h;
}

MenuRules::EditItems MenuRules::editItems(ConnectMode connectMode, bool isAutoDetect,
                                          bool isFaceAutoTracking) {
  EditItems items;  // all disabled, check marks untouched
  if (connectMode != ConnectMode::connected) return items;
  items.autoDetect = {true, isAutoDetect};
  items.detectOnce = {!isFaceAutoTracking, std::nullopt};
  items.autoTrack = {true, isFaceAutoTracking};
  items.removeAll = items.loadRoi = items.saveRoi = {true, std::nullopt};
  return items;
}

}  // namespace corvane
