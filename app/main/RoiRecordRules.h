#pragma once

#include <QVariant>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/PresetModel.h"
#include "config/RectPoint.h"

namespace corvane {

class ConfigManager;

// What goes into a saved ROI layout and where, free of widgets: the quads of frame rectangles,
// the banner crop, the preset, and the record fields of layouts 1 to 3.
class RoiRecordRules {
 public:
  // The fields of one record in the settings, in the order a save writes them.
  struct Fields {
    std::vector<RectPoint>* rois;
    int64_t* fov;
    bool* mirror;
    double* basePos;
    double* cropY;
    bool* doTracking;
    int64_t* displayMode;
    std::vector<RectPoint>* fixRect;
    int64_t* focusedPreset;
    std::optional<PresetModel>* customPreset;
    std::vector<RectPoint>* ignore;
  };
  // Record `number` (1 to 3); none for any other number.
  static std::optional<Fields> fields(ConfigManager& config, int64_t number);

  // The rectangle (x, y, w, h in frame pixels) as a quad in fractions of a W x H frame:
  // top-left, top-right, bottom-right, bottom-left. None for an empty frame.
  static std::optional<RectPoint> quad(double x, double y, double w, double h, double frameWidth,
                                       double frameHeight);

  // Two boxes of a record whose overlap reaches this share of their union frame one place.
  static constexpr float kSamePlace = 0.7f;
  // The quads in order, each left out that frames the place of one kept before it; the quads are
  // fractions of a W x H frame (a 360-degree one wraps).
  static std::vector<RectPoint> distinctBoxes(const std::vector<RectPoint>& quads,
                                              double frameWidth, double frameHeight, bool is360);

  // The banner's offset as a fraction of the room it can move in: bannerPositionY over
  // (H - W / ratio), never a hair below it, so that crop x room truncates back to the same row.
  // 0 when that room is not positive or the result is not finite (a JSON file cannot hold
  // infinity or not-a-number).
  static double cropY(double bannerPositionY, double frameHeight, double frameWidth,
                      double bannerAspectRatio);

  // The preset a record keeps: the index of the first preset whose name is the stored
  // "CurrentPreset" (0 when it is missing, not a string or names none), and the preset itself
  // when it is the custom one (named "Custom"), whatever language its title is in.
  struct PresetChoice {
    int64_t index = 0;
    std::optional<PresetModel> custom;
  };
  static PresetChoice preset(const QVariant& currentPreset, const std::vector<PresetModel>& presets);
  static constexpr const char* kCustomPresetName = "Custom";

  // The chooser's item for a record index: the save popup lists records 1 to 3, the load popup
  // "none" first.
  static int64_t recordOfItem(int item, bool saveState) { return saveState ? item + 1 : item; }
  static int itemOfRecord(int64_t record, bool saveState);
};

}  // namespace corvane
