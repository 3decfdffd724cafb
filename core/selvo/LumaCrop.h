#pragma once

#include <cstdint>
#include <opencv2/core.hpp>

namespace selvo {

// A luma plane as the frame manager hands it over.
struct LumaPlane {
  const uint8_t* data = nullptr;
  int width = 0;
  int height = 0;
  int bytesPerRow = 0;
  bool is360 = false;  // x wraps round
};

// Cutting regions out of a luma plane: x wraps round a 360-degree panorama, elsewhere the edge
// pixels repeat.
class LumaCrop {
 public:
  // The whole-pixel region, unscaled, into out (CV_8UC1).
  static void Copy(const LumaPlane& plane, const cv::Rect& region, cv::Mat& out);

  // The region (in plane pixels, fractional) resampled to `size` (CV_32F): box-filtered by a
  // whole factor first where it shrinks a lot, so that a large region costs one pass over its
  // pixels and does not alias.
  static void Sample(const LumaPlane& plane, const cv::Rect2f& region, const cv::Size& size,
                     cv::Mat& out);
};

}  // namespace selvo
