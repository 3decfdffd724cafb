#include "LumaCrop.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <opencv2/imgproc.hpp>

namespace selvo {

void LumaCrop::Copy(const LumaPlane& plane, const cv::Rect& region, cv::Mat& out) {
  out.create(region.height, region.width, CV_8UC1);
  const int w = plane.width;
  for (int r = 0; r < region.height; ++r) {
    int sy = std::clamp(region.y + r, 0, plane.height - 1);
    const uint8_t* src = plane.data + size_t(sy) * size_t(plane.bytesPerRow);
    uint8_t* dst = out.ptr<uint8_t>(r);
    int c = 0;
    while (c < region.width) {
      int sx = region.x + c;
      if (plane.is360) {
        sx %= w;
        if (sx < 0) sx += w;
      } else if (sx < 0 || sx >= w) {
        dst[c++] = src[std::clamp(sx, 0, w - 1)];
        continue;
      }
      int run = std::min(region.width - c, w - sx);
      std::memcpy(dst + c, src + sx, size_t(run));
      c += run;
    }
  }
}

void LumaCrop::Sample(const LumaPlane& plane, const cv::Rect2f& region, const cv::Size& size,
                      cv::Mat& out) {
  // Whole pixels around the region, with one pixel to spare for the interpolation.
  int x0 = int(std::floor(region.x)) - 1, y0 = int(std::floor(region.y)) - 1;
  int x1 = int(std::ceil(region.x + region.width)) + 1;
  int y1 = int(std::ceil(region.y + region.height)) + 1;
  cv::Rect whole(x0, y0, std::max(2, x1 - x0), std::max(2, y1 - y0));

  // Read the plane in place when the region lies inside it, else through a copy.
  cv::Mat source;
  bool inside = whole.x >= 0 && whole.y >= 0 && whole.x + whole.width <= plane.width &&
                whole.y + whole.height <= plane.height;
  if (inside) {
    source = cv::Mat(plane.height, plane.width, CV_8UC1, const_cast<uint8_t*>(plane.data),
                     size_t(plane.bytesPerRow))(whole);
  } else {
    Copy(plane, whole, source);
  }

  double shrink = std::min(region.width / size.width, region.height / size.height);
  int k = std::max(1, int(std::floor(shrink)));
  cv::Mat reduced = source;
  if (k >= 2) cv::resize(source, reduced, cv::Size(), 1.0 / k, 1.0 / k, cv::INTER_AREA);
  double fx = double(reduced.cols) / whole.width, fy = double(reduced.rows) / whole.height;

  // Map the output grid onto the reduced picture.
  double sx = region.width * fx / size.width, sy = region.height * fy / size.height;
  double ox = (region.x - whole.x) * fx, oy = (region.y - whole.y) * fy;
  cv::Mat m = (cv::Mat_<double>(2, 3) << sx, 0, ox + 0.5 * sx - 0.5, 0, sy, oy + 0.5 * sy - 0.5);
  cv::Mat warped;
  cv::warpAffine(reduced, warped, m, size, cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                 cv::BORDER_REPLICATE);
  warped.convertTo(out, CV_32F);
}

}  // namespace selvo
