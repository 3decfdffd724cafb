#include "main/RoiRecordRules.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "SamePlace.h"
#include "config/ConfigManager.h"

namespace corvane {

std::optional<RoiRecordRules::Fields> RoiRecordRules::fields(ConfigManager& c, int64_t number) {
  switch (number) {
    case 1:
      return Fields{&c.roiRecord1,           &c.roiRecord1Fov,          &c.roiRecord1Mirror,
                    &c.roiRecord1BasePos,    &c.roiRecord1180CropY,     &c.roiRecord1DoTracking,
                    &c.roiRecord1DisplayMode, &c.roiRecord1FixRect,     &c.roiRecord1ForcusedPreset,
                    &c.roiRecord1CustomPreset, &c.ignoreRoiRecord1};
    case 2:
      return Fields{&c.roiRecord2,           &c.roiRecord2Fov,          &c.roiRecord2Mirror,
                    &c.roiRecord2BasePos,    &c.roiRecord2180CropY,     &c.roiRecord2DoTracking,
                    &c.roiRecord2DisplayMode, &c.roiRecord2FixRect,     &c.roiRecord2ForcusedPreset,
                    &c.roiRecord2CustomPreset, &c.ignoreRoiRecord2};
    case 3:
      return Fields{&c.roiRecord3,           &c.roiRecord3Fov,          &c.roiRecord3Mirror,
                    &c.roiRecord3BasePos,    &c.roiRecord3180CropY,     &c.roiRecord3DoTracking,
                    &c.roiRecord3DisplayMode, &c.roiRecord3FixRect,     &c.roiRecord3ForcusedPreset,
                    &c.roiRecord3CustomPreset, &c.ignoreRoiRecord3};
    default:
      return std::nullopt;
  }
}

std::vector<RectPoint> RoiRecordRules::distinctBoxes(const std::vector<RectPoint>& quads,
                                                    double W, double H, bool is360) {
  std::vector<orlith::SamePlace::rect> boxes;
  boxes.reserve(quads.size());
  for (const RectPoint& q : quads) {
    orlith::SamePlace::rect r;
    r.x = float(std::min(q.x1, q.x3) * W);
    r.y = float(std::min(q.y1, q.y3) * H);
    r.width = float(std::fabs(q.x3 - q.x1) * W);
    r.height = float(std::fabs(q.y3 - q.y1) * H);
    boxes.push_back(r);
  }
  std::vector<RectPoint> out;
  for (size_t i : orlith::SamePlace::distinct(boxes, kSamePlace, int(W), is360))
    out.push_back(quads[i]);
  return out;
}

std::optional<RectPoint> RoiRecordRules::quad(double x, double y, double w, double h, double W,
                                              double H) {
  if (!(W > 0) || !(H > 0)) return std::nullopt;
  return RectPoint(x / W, y / H, (x + w) / W, y / H, (x + w) / W, (y + h) / H, x / W, (y + h) / H);
}

double RoiRecordRules::cropY(double bannerPositionY, double H, double W, double ratio) {
  if (!(ratio > 0)) return 0;
  const double room = H - W / ratio;
  if (!(room > 0) || !std::isfinite(room)) return 0;
  double crop = bannerPositionY / room;
  if (!std::isfinite(crop)) return 0;
  // A load truncates crop x room back to a row: a quotient rounded down (15 / 22 x 22 gives
  // 14.999...) would bring the band back a row higher at every save and load.
  for (int i = 0; i < 4 && crop * room < bannerPositionY; ++i)
    crop = std::nextafter(crop, std::numeric_limits<double>::infinity());
  return crop;
}

RoiRecordRules::PresetChoice RoiRecordRules::preset(const QVariant& current,
                                                    const std::vector<PresetModel>& presets) {
  PresetChoice choice;
  if (current.typeId() != QMetaType::QString) return choice;
  const std::string name = current.toString().toStdString();
  for (size_t i = 0; i < presets.size(); ++i) {
    if (presets[i].name != name) continue;
    choice.index = int64_t(i);
    if (name == kCustomPresetName) choice.custom = presets[i];
    break;
  }
  return choice;
}

int RoiRecordRules::itemOfRecord(int64_t record, bool saveState) {
  if (saveState) return record >= 1 && record <= 3 ? int(record - 1) : 0;
  return record >= 0 && record <= 3 ? int(record) : 0;
}

}  // namespace corvane
