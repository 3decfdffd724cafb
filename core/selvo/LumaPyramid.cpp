#include "LumaPyramid.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace selvo {

void LumaPyramid::Build(const LumaPlane& plane, int levels) {
  planes_.assign(1, plane);
  halves_.resize(size_t(std::max(0, levels - 1)));
  cv::Mat previous(plane.height, plane.width, CV_8UC1, const_cast<uint8_t*>(plane.data),
                   size_t(plane.bytesPerRow));
  for (cv::Mat& half : halves_) {
    if (previous.cols < 32 || previous.rows < 32) break;
    cv::resize(previous, half, cv::Size(previous.cols / 2, previous.rows / 2), 0, 0,
               cv::INTER_AREA);
    planes_.push_back({half.data, half.cols, half.rows, int(half.step[0]), plane.is360});
    previous = half;
  }
}

void LumaPyramid::Sample(const cv::Rect2f& region, const cv::Size& size, cv::Mat& out) const {
  // The deepest level that still has at least one pixel per output pixel.
  double shrink = std::min(region.width / size.width, region.height / size.height);
  int level = 0;
  while (level + 1 < int(planes_.size()) && shrink >= double(2 << level)) ++level;
  const LumaPlane& p = planes_[size_t(level)];
  float fx = float(p.width) / float(planes_[0].width);
  float fy = float(p.height) / float(planes_[0].height);
  LumaCrop::Sample(p, {region.x * fx, region.y * fy, region.width * fx, region.height * fy}, size,
                   out);
}

}  // namespace selvo
