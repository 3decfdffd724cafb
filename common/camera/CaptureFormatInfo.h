#pragma once

#include <cstdint>
#include <string>

namespace corvane {

// What the format choice needs to know of one of the capture device's formats.
struct CaptureFormatInfo {
  std::string formatName;  // the format's name, e.g. "MJPEG" or "YUYV 4:2:2"
  int32_t width = 0;
  int32_t height = 0;
  std::string description;  // the whole format as text, for the log

  bool operator==(const CaptureFormatInfo&) const = default;
};

}  // namespace corvane
