#include "capture/CaptureFormat.h"

#include <linux/videodev2.h>

namespace platform {

std::string CaptureFormat::nameOf(uint32_t fourcc) {
  switch (fourcc) {
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG:
      return "MJPEG";
    case V4L2_PIX_FMT_YUYV:
      return "YUYV";
    case V4L2_PIX_FMT_NV12:
      return "NV12";
    case V4L2_PIX_FMT_H264:
      return "H264";
    default:
      break;
  }
  std::string s;
  for (int i = 0; i < 4; ++i) {
    char c = char((fourcc >> (8 * i)) & 0xff);
    s += (c >= 32 && c < 127) ? c : '?';
  }
  return s;
}

}  // namespace platform
