#pragma once

#include <opencv2/core.hpp>
#include <vector>

#include "TargetModel.h"

namespace selvo {

// Median flow: a grid of points in the target followed by pyramidal Lucas-Kanade, forwards and
// back; points that do not come back to where they started are dropped, and the target moves by
// the median motion of the rest and scales by the median change of their distances. The
// region around the target is resampled to a small fixed size first, so the cost does not grow
// with the target's size.
class MedianFlowTarget : public TargetModel {
 public:
  bool Start(const LumaPyramid& frame, const cv::Rect2f& box) override;
  bool Follow(const LumaPyramid& frame) override;
  cv::Rect2f Box() const override { return box_; }
  float Confidence() const override;

 private:
  void Remember(const LumaPyramid& frame);

  cv::Rect2f box_;
  cv::Rect2f region_;  // the plane region the remembered patch shows
  cv::Size size_;      // patch size
  cv::Mat previous_;   // the region in the last frame the target was seen in, 8-bit
  std::vector<cv::Mat> previousLevels_;  // its optical-flow pyramid
  float quality_ = 0;
  bool lost_ = false;
};

}  // namespace selvo
