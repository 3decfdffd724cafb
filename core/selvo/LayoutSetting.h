#pragma once

#include "ISELVO_LAYOUT_SETTING.h"
#include "LayoutTuning.h"

namespace selvo {

// The settings object of the interface: every instance writes the one tuning of the process
// (or the tuning it was given, in tests), which every layout engine reads.
class LayoutSetting : public ISELVO_LAYOUT_SETTING {
 public:
  explicit LayoutSetting(LayoutTuning& tuning = LayoutTuning::shared());

  void EnableShowScaleFactor(bool enable) override;
  void SetSpeakerModeTransitionAlways(bool always) override;
  void EnableNameTag(bool enable) override;
  void SetStableROITolerance(int tolerance, int maximum) override;
  void SetBeamformingHighlightTime(int milliseconds) override;
  void SetSpeakerClearTime(int milliseconds) override;
  void SetTransitionFrameCount(int frames) override;
  void SetPIPEnlargeScaleLimit(float limit) override;
  void SetMinSrcHeightScale(float scale) override;
  void SetVideoPanWeight(float weight) override;

 private:
  LayoutTuning& tuning_;
};

}  // namespace selvo
