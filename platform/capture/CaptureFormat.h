#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// One frame size of one pixel format that a capture device offers.
struct CaptureFormat {
  uint32_t fourcc = 0;      // V4L2 pixel format
  std::string name;         // "MJPEG", "YUYV", "NV12", or the four characters
  int width = 0;
  int height = 0;
  std::vector<double> frameRates;  // frames per second, highest first; may be empty

  double maxFrameRate() const { return frameRates.empty() ? 0 : frameRates.front(); }
  bool operator==(const CaptureFormat& o) const {
    return fourcc == o.fourcc && width == o.width && height == o.height;
  }
  // The name V4L2 pixel formats go by here.
  static std::string nameOf(uint32_t fourcc);
};

}  // namespace platform
