#include "LayoutSetting.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "OrlithLog.h"

namespace selvo {

namespace {

// Out-of-range values are clamped to what the engine can use; a value that is not a number
// leaves the setting as it was.
bool usable(float value, const char* name) {
  if (std::isfinite(value)) return true;
  ORLITH_LOG_WARNING(std::string("ignoring a non-finite ") + name);
  return false;
}

}  // namespace

LayoutSetting::LayoutSetting(LayoutTuning& tuning) : tuning_(tuning) {}

void LayoutSetting::EnableShowScaleFactor(bool enable) {
  tuning_.edit([&](LayoutTuningValues& v) { v.showScaleFactor = enable; });
}

void LayoutSetting::SetSpeakerModeTransitionAlways(bool always) {
  tuning_.edit([&](LayoutTuningValues& v) { v.speakerTransitionAlways = always; });
}

void LayoutSetting::EnableNameTag(bool enable) {
  tuning_.edit([&](LayoutTuningValues& v) { v.nameTag = enable; });
}

void LayoutSetting::SetStableROITolerance(int tolerance, int maximum) {
  tuning_.edit([&](LayoutTuningValues& v) {
    v.stableTolerance = std::max(0, tolerance);
    v.stableMaximum = std::max(0, maximum);
  });
}

void LayoutSetting::SetBeamformingHighlightTime(int milliseconds) {
  tuning_.edit([&](LayoutTuningValues& v) { v.highlightMs = std::max(0, milliseconds); });
}

void LayoutSetting::SetSpeakerClearTime(int milliseconds) {
  tuning_.edit([&](LayoutTuningValues& v) { v.clearMs = std::max(0, milliseconds); });
}

void LayoutSetting::SetTransitionFrameCount(int frames) {
  tuning_.edit([&](LayoutTuningValues& v) { v.transitionFrames = std::clamp(frames, 0, 600); });
}

void LayoutSetting::SetPIPEnlargeScaleLimit(float limit) {
  if (!usable(limit, "picture-in-picture enlarge limit")) return;
  tuning_.edit([&](LayoutTuningValues& v) { v.pipEnlargeLimit = std::clamp(limit, 0.1f, 16.0f); });
}

void LayoutSetting::SetMinSrcHeightScale(float scale) {
  if (!usable(scale, "minimum source height scale")) return;
  tuning_.edit([&](LayoutTuningValues& v) { v.minSrcHeightScale = std::clamp(scale, 0.0f, 1.0f); });
}

void LayoutSetting::SetVideoPanWeight(float weight) {
  if (!usable(weight, "pan weight")) return;
  tuning_.edit([&](LayoutTuningValues& v) { v.panWeight = std::clamp(weight, 0.0f, 1.0f); });
}

}  // namespace selvo
