#pragma once

#include <opencv2/core.hpp>

#include "LumaPyramid.h"

namespace selvo {

// What follows one target from frame to frame, in the pixels of the plane it is given.
class TargetModel {
 public:
  virtual ~TargetModel() = default;
  // Learns the target's look in `box`; false when the box is unusable (empty, off the picture).
  virtual bool Start(const LumaPyramid& frame, const cv::Rect2f& box) = 0;
  // Finds the target in the next frame. False when it is lost: the box then stays where the
  // target was last seen, and later frames keep looking for it there.
  virtual bool Follow(const LumaPyramid& frame) = 0;
  // x may lie beyond the width on a 360-degree panorama before wrapping.
  virtual cv::Rect2f Box() const = 0;
  // In (0, 1] while followed, 0 when lost.
  virtual float Confidence() const = 0;
};

}  // namespace selvo
