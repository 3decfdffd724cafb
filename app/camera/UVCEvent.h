#pragma once

#include "camera/UVCMode.h"

namespace corvane {

// One request for the camera control queue: what to change and to which value.
struct UVCEvent {
  UVCMode mode = UVCMode::none;
  float value = 0;

  bool operator==(const UVCEvent&) const = default;
};

}  // namespace corvane
