#pragma once

#include <opencv2/core.hpp>

#include "TargetModel.h"

namespace selvo {

// A correlation-filter tracker of one target (minimum output sum of squared error filters,
// learned and applied in the Fourier domain), with a three-step scale search on every other frame.
// The target's window (twice its size) is resampled to a small fixed template, so the cost does not
// grow with the target's size. The peak-to-sidelobe ratio of the response tells a lost target.
class CorrelationTarget : public TargetModel {
 public:
  bool Start(const LumaPyramid& frame, const cv::Rect2f& box) override;
  bool Follow(const LumaPyramid& frame) override;
  cv::Rect2f Box() const override { return box_; }
  float Confidence() const override;

  float PeakToSidelobe() const { return psr_; }

 private:
  cv::Rect2f Window(const cv::Rect2f& box, float scale) const;
  void Prepare(cv::Mat& patch) const;
  // Correlates a prepared patch with the filter; returns the peak and its offset from the
  // centre, in template pixels.
  float Respond(const cv::Mat& patch, cv::Point2f* offset, float* psr);
  void Learn(const cv::Mat& patch, float rate);

  cv::Rect2f box_;
  cv::Size2f startSize_;
  cv::Size size_;      // template size
  cv::Mat hann_;       // window against edge effects
  cv::Mat target_;     // desired response (a Gaussian peak), in the Fourier domain
  cv::Mat numerator_;  // running sums of the filter, Fourier domain
  cv::Mat denominator_;
  cv::Mat filter_;                                 // numerator / denominator
  cv::Mat patch_, spectrum_, product_, response_;  // scratch
  float psr_ = 0;
  bool lost_ = false;
  unsigned frames_ = 0;
};

}  // namespace selvo
