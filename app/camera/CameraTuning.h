#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "camera/CameraFormat.h"
#include "config/RectPoint.h"

class QString;

namespace platform {
class UserDefaults;
}

namespace corvane {

class AnalysisFacade;
class CameraManager;
class ConfigManager;
class ControlBoardViewModel;

// Keeps the analysis facade in step with the settings store: the tuning values pushed after
// every facade set-up, the initial places of the focus and presenter rectangles, and the
// restore of the current ROI record. Main thread.
class CameraTuning {
 public:
  CameraTuning(ConfigManager& config, platform::UserDefaults& defaults,
               ControlBoardViewModel& viewModel);

  void loadConfig(AnalysisFacade& facade, CameraManager& camera);
  // Without `withBoxes` the record's boxes and ignore areas stay out (others are carried in).
  void loadRoiRecord(AnalysisFacade& facade, CameraManager& camera, bool withBoxes = true);

  // Sends the first rectangle of `rects` as an initial place, its height following `aspect`
  // around its vertical centre, clamped into the picture. An empty list, or a first rectangle
  // that encloses nothing, sends the middle of the picture.
  static void applyRectInitPlace(const std::vector<RectPoint>& rects, const CameraFormat& format,
                                 double aspect,
                                 const std::function<void(int, int, int, int)>& send);
  // A stored switch: none when the key is absent or holds no boolean.
  static std::optional<bool> storedBoolean(const platform::UserDefaults& defaults,
                                           const QString& key);
  // A settings integer as the facade's 32-bit one: out-of-range values are clamped.
  static int int32(int64_t value);

 private:
  ConfigManager& config_;
  platform::UserDefaults& defaults_;
  ControlBoardViewModel& viewModel_;
};

}  // namespace corvane
