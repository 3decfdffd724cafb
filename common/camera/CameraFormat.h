#pragma once

#include <cstdint>

namespace corvane {

// The capture size and fields of view the camera confirmed for a resolution request.
struct CameraFormat {
  uint16_t width = 0;
  uint16_t height = 0;
  uint16_t hfov = 0;
  uint16_t vfov = 0;
  bool enableVFov = false;

  bool operator==(const CameraFormat&) const = default;
};

}  // namespace corvane
