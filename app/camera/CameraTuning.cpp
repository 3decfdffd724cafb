#include "camera/CameraTuning.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

#include "Bundle.h"
#include "OutlineBudget.h"
#include "camera/AnalysisFacade.h"
#include "camera/CameraManager.h"
#include "config/ConfigManager.h"
#include "controlboard/ControlBoardViewModel.h"
#include "log/LogManager.h"
#include "main/RoiRecordRules.h"
#include "qt/UserDefaults.h"

namespace corvane {

namespace {

int truncated(double v) {
  if (!std::isfinite(v)) return 0;
  return CameraTuning::int32(int64_t(std::clamp(v, -9.0e18, 9.0e18)));
}

// The pixel start and end of a normalised rectangle: corner 1 and the opposite corner 3.
void addRect(AnalysisFacade& facade, const RectPoint& p, double w, double h) {
  facade.AddNewRect(truncated(p.x1 * w), truncated(p.y1 * h), truncated(p.x3 * w),
                    truncated(p.y3 * h));
}

}  // namespace

std::optional<bool> CameraTuning::storedBoolean(const platform::UserDefaults& defaults,
                                                const QString& key) {
  // The settings file gives every value back as text after a restart: read as the store reads
  // its booleans. A value that is no boolean reads differently with either fallback.
  if (!defaults.contains(key)) return std::nullopt;
  bool asTrue = defaults.boolean(key, true);
  if (asTrue != defaults.boolean(key, false)) return std::nullopt;
  return asTrue;
}

CameraTuning::CameraTuning(ConfigManager& config, platform::UserDefaults& defaults,
                           ControlBoardViewModel& viewModel)
    : config_(config), defaults_(defaults), viewModel_(viewModel) {}

int CameraTuning::int32(int64_t value) {
  if (value > std::numeric_limits<int32_t>::max() || value < std::numeric_limits<int32_t>::min()) {
    CV_LOG_WARNING("A setting does not fit 32 bits and was clamped: " + std::to_string(value));
    return value > 0 ? std::numeric_limits<int32_t>::max() : std::numeric_limits<int32_t>::min();
  }
  return int(value);
}

void CameraTuning::applyRectInitPlace(const std::vector<RectPoint>& rects,
                                      const CameraFormat& format, double aspect,
                                      const std::function<void(int, int, int, int)>& send) {
  // With none saved, or one that encloses nothing, the middle of the picture: the focus and
  // presentation modes always have a rectangle to show.
  static const RectPoint kMiddle(0.32, 0.2, 0.68, 0.2, 0.68, 0.8, 0.32, 0.8);
  auto usable = [](const RectPoint& r) {
    double w = std::fabs(r.x2 - r.x1), h = std::fabs(r.y4 - r.y1);
    return std::isfinite(r.x1) && std::isfinite(r.y1) && std::isfinite(w) && std::isfinite(h) &&
           w > 0 && h > 0;
  };
  const RectPoint& p = !rects.empty() && usable(rects.front()) ? rects.front() : kMiddle;
  double W = format.width, H = format.height;
  double x = p.x1 * W;
  double y = p.y1 * H;
  double w = std::fabs(p.x2 - p.x1) * W;
  double h0 = std::fabs(p.y4 - p.y1) * H;
  double h = aspect * w;
  double y1 = y + h0 / 2 - h / 2;
  double x2 = std::max(x, 0.0);
  double y2 = std::max(y1, 0.0);
  if (x2 + w > W) w = W - x2;
  if (y2 + h > H) h = H - y2;
  send(truncated(x2), truncated(y2), truncated(w), truncated(h));
}

void CameraTuning::loadConfig(AnalysisFacade& f, CameraManager& camera) {
  CV_LOG_DEBUG("");
  const ConfigManager& c = config_;
  f.SetVoiceAngleOffset(int32(c.doaOffset));
  f.SetStableROITolerance(int32(c.stableRoiMin), int32(c.stableRoiMax));
  f.SetBeamformingHightlightTime(int32(c.beamformingLastingMs));
  f.SetSpeakerClearTime(int32(c.speakerLastingMs));
  f.SetMinRectSideLength(int32(c.minRectSideLength));
  f.SetFocusModeROIExtendPixel(unsigned(
      std::clamp<int64_t>(c.autoFitRectWidthPixels, 0, std::numeric_limits<uint32_t>::max())));
  f.SetAngleTolerance(int32(c.beamformingTolerance));
  f.SetDetectResultOverlappingThreshold(float(c.detectOverlapRatio));
  f.SetDetectRectDirtyThreshold(c.enableNewDetectLayout ? 1 : int32(c.detectRemoveThreshold));
  f.SetPIPEnlargeScaleLimit(float(c.maxStretchRatio));
  f.SetMaxGridCount(int32(c.gridModeMaxCount));
  f.SetTrackerType(long(c.defaultTrackType));
  f.SetFaceEnlargeRatio(c.faceEnlargeRatio);
  f.SetDetectConfThreshold(float(c.detectConfThreshold));
  f.SetVideoPanWeight(float(c.videoPanWeight));
  f.SetTransitionFrameCount(int32(c.transitionFrameCount));
  f.EnableROIAutoMerge(c.gridModeRoiMerge);
  f.SetPIPSmallWindowSize(long(c.presentationModePresenterSizeLevel));
  f.SetMinSrcHeightScale(float(c.minSrcHeightScale));

  camera.isAutoDetect->setValue(c.defaultAutoDetect);
  if (std::optional<bool> tracking = storedBoolean(defaults_, "AutoTracking"))
    camera.isAutoTracking->setValue(*tracking);
  if (std::optional<bool> faceTracking = storedBoolean(defaults_, "FaceAutoTracking"))
    camera.isFaceAutoTracking->setValue(*faceTracking);
  if (!camera.firstFrame()) f.setMirror(viewModel_.mirror->value());
  camera.detectInterval = c.detectInterval;
  f.enableAutoDetect(c.defaultAutoDetect, int32(c.detectInterval));
  CameraFormat format = camera.cameraFormat();
  applyRectInitPlace(
      c.manualFocusRect, format, camera.focusRectAspectRatio,
      [&](int x, int y, int w, int h) { f.SetManualFocusRectInitPlace(x, y, w, h); });
  applyRectInitPlace(c.presentRect, format, camera.focusRectAspectRatio,
                     [&](int x, int y, int w, int h) { f.SetPresentRectInitPlace(x, y, w, h); });
  std::optional<std::string> logo =
      platform::Bundle::main().pathForResource("img_thumbnail_default.jpg");
  std::error_code ec;
  f.replaceDefaultLogoPath(logo && std::filesystem::is_regular_file(*logo, ec) ? *logo : "");
}

void CameraTuning::loadRoiRecord(AnalysisFacade& f, CameraManager& camera, bool withBoxes) {
  ConfigManager& c = config_;
  CV_LOG_INFO("load ROI record " + std::to_string(c.roiRecordIndex));
  CameraFormat format = camera.cameraFormat();
  double W = format.width, H = format.height;
  std::vector<RectPoint> rects, fixRects, ignoreRects;
  int64_t fovIndex = 1;
  bool mirror = false;
  double basePos = 0, cropY = 0.5;
  // Only a saved layout carries a tracking state: with none current, the user's own switch
  // (restored from "FaceAutoTracking" with the configuration) stays as it is.
  std::optional<bool> doTracking;
  std::optional<Display> display;
  int64_t presetIndex = 0;
  std::optional<PresetModel> customPreset;
  auto take = [&](auto& r, auto& fov, auto& mir, auto& base, auto& crop, auto& track, auto& mode,
                  auto& fix, auto& preset, auto& custom, auto& ignore) {
    rects = r;
    fovIndex = fov - 1;
    mirror = mir;
    basePos = W * base;
    cropY = crop;
    doTracking = track;
    display = makeDisplay(mode);
    if (display == Display::focus || display == Display::presentation) fixRects = fix;
    presetIndex = preset;
    customPreset = custom;
    ignoreRects = ignore;
  };
  switch (c.roiRecordIndex) {
    case 1:
      take(c.roiRecord1, c.roiRecord1Fov, c.roiRecord1Mirror, c.roiRecord1BasePos,
           c.roiRecord1180CropY, c.roiRecord1DoTracking, c.roiRecord1DisplayMode,
           c.roiRecord1FixRect, c.roiRecord1ForcusedPreset, c.roiRecord1CustomPreset,
           c.ignoreRoiRecord1);
      break;
    case 2:
      take(c.roiRecord2, c.roiRecord2Fov, c.roiRecord2Mirror, c.roiRecord2BasePos,
           c.roiRecord2180CropY, c.roiRecord2DoTracking, c.roiRecord2DisplayMode,
           c.roiRecord2FixRect, c.roiRecord2ForcusedPreset, c.roiRecord2CustomPreset,
           c.ignoreRoiRecord2);
      break;
    case 3:
      take(c.roiRecord3, c.roiRecord3Fov, c.roiRecord3Mirror, c.roiRecord3BasePos,
           c.roiRecord3180CropY, c.roiRecord3DoTracking, c.roiRecord3DisplayMode,
           c.roiRecord3FixRect, c.roiRecord3ForcusedPreset, c.roiRecord3CustomPreset,
           c.ignoreRoiRecord3);
      break;
    default:
      break;
  }
  // A box at one place once (a layout saved by an earlier build may hold one twice), then what
  // the picture can draw: the layout's ignore areas first, then its boxes in order.
  const std::vector<RectPoint> stored =
      display == Display::focus ? std::vector<RectPoint>() : rects;
  rects = RoiRecordRules::distinctBoxes(stored, W, H, camera.is360Camera());
  const orlith::OutlineBudget::Fit fit =
      orlith::OutlineBudget::fit(int(rects.size()), int(ignoreRects.size()));
  const std::string record = "ROI record " + std::to_string(c.roiRecordIndex);
  if (rects.size() < stored.size())
    CV_LOG_WARNING(record + ": " + std::to_string(stored.size() - rects.size()) + " of " +
                   std::to_string(stored.size()) + " boxes left out, each at the place of another");
  if (fit.boxesLeftOut > 0 || fit.ignoreAreasLeftOut > 0)
    CV_LOG_WARNING(
        record + ": " + std::to_string(fit.boxesLeftOut) + " of " + std::to_string(rects.size()) +
        " boxes and " + std::to_string(fit.ignoreAreasLeftOut) + " of " +
        std::to_string(ignoreRects.size()) + " ignore areas left out: the picture shows " +
        std::to_string(orlith::OutlineBudget::kOutlines) + " together at most");
  rects.resize(withBoxes ? size_t(fit.boxes) : 0);
  ignoreRects.resize(withBoxes ? size_t(fit.ignoreAreas) : 0);
  camera.recordBoxesLeftOut = fit.boxesLeftOut;
  camera.recordIgnoreAreasLeftOut = fit.ignoreAreasLeftOut;

  f.setMirror(false);
  f.setContentOffset(0);
  if (display) camera.displayMode->setValue(*display);

  // A negative index from the user's file is no preset at all.
  if (!c.presets.empty() && presetIndex >= 0 && size_t(presetIndex) < c.presets.size()) {
    PresetModel& preset = c.presets[size_t(presetIndex)];
    defaults_.set("CurrentPreset", QString::fromStdString(preset.name));
    if (preset.name == "Custom" && customPreset) preset = *customPreset;
    viewModel_.currentPresetIndex->setValue(presetIndex);
  }

  if (display == Display::focus) {
    c.manualFocusRect = fixRects;
    applyRectInitPlace(
        c.manualFocusRect, format, camera.focusRectAspectRatio,
        [&](int x, int y, int w, int h) { f.SetManualFocusRectInitPlace(x, y, w, h); });
  } else {
    if (display == Display::presentation) {
      c.presentRect = fixRects;
      applyRectInitPlace(
          c.presentRect, format, camera.focusRectAspectRatio,
          [&](int x, int y, int w, int h) { f.SetPresentRectInitPlace(x, y, w, h); });
    }
    for (const RectPoint& p : rects) addRect(f, p, W, H);
  }
  // A field-of-view index out of range from the user's file is absent: the position stays.
  if (std::optional<VerticalFovMode> fov = makeVerticalFovMode(fovIndex))
    camera.verticalFov->setValue(*fov);
  else
    CV_LOG_WARNING("ROI record field of view out of range: " + std::to_string(fovIndex));
  f.setMirror(mirror);
  viewModel_.mirror->setValue(mirror);
  f.setContentOffset(truncated(basePos));
  camera.editOffsetDatumPoint = truncated(basePos);
  f.StartIgnoreAreaEditing();
  for (const RectPoint& p : ignoreRects) addRect(f, p, W, H);
  f.EndIgnoreAreaEditing(true);
  if (doTracking && display != Display::focus && display != Display::topDown)
    camera.isFaceAutoTracking->setValue(*doTracking);
  const int bannerY = truncated(cropY * (H - W / 6));
  f.SetHeightOffsetFor180Video(bannerY);
  // Where the band now is (the layout holds it inside the picture), so that a layout saved
  // from here on keeps it there rather than the place of the last drag.
  camera.bannerPositionY = std::clamp(bannerY, 0, std::max(0, truncated(H - W / 6)));
  viewModel_.editMode->setValue(EditMode::none);
  camera.loadRecord->setValue(!camera.loadRecord->value());
}

}  // namespace corvane
