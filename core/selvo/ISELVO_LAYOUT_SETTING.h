#pragma once

namespace selvo {

// Tuning shared by every layout instance of the process.
class ISELVO_LAYOUT_SETTING {
 public:
  virtual ~ISELVO_LAYOUT_SETTING() = default;
  virtual void EnableShowScaleFactor(bool enable) = 0;
  virtual void SetSpeakerModeTransitionAlways(bool always) = 0;
  virtual void EnableNameTag(bool enable) = 0;
  virtual void SetStableROITolerance(int tolerance, int maximum) = 0;
  virtual void SetBeamformingHighlightTime(int milliseconds) = 0;
  virtual void SetSpeakerClearTime(int milliseconds) = 0;
  virtual void SetTransitionFrameCount(int frames) = 0;
  virtual void SetPIPEnlargeScaleLimit(float limit) = 0;
  virtual void SetMinSrcHeightScale(float scale) = 0;
  virtual void SetVideoPanWeight(float weight) = 0;
};

}  // namespace selvo
