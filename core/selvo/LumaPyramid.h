#pragma once

#include <opencv2/core.hpp>
#include <vector>

#include "LumaCrop.h"

namespace selvo {

// A frame's luma plane and its halvings, built once per frame so that every target can be
// resampled from the level nearest its scale: a large target then costs no more than a small
// one.
class LumaPyramid {
 public:
  // Level 0 is the plane itself (not copied: it must outlive the pyramid's use).
  void Build(const LumaPlane& plane, int levels);
  const LumaPlane& Base() const { return planes_.front(); }

  // The region (level-0 pixels, fractional) resampled to `size` (CV_32F).
  void Sample(const cv::Rect2f& region, const cv::Size& size, cv::Mat& out) const;

 private:
  std::vector<cv::Mat> halves_;  // levels 1 ...
  std::vector<LumaPlane> planes_;
};

}  // namespace selvo
