#pragma once

#include <atomic>

#include "video/PixelBuffer.h"

namespace orlith {

// One slot of the frame pool: a process-size NV12 buffer and whether it is being processed.
struct VideoSampleParams {
  std::atomic<bool> inProcess{false};
  platform::PixelBufferRef pixelBuffer;
};

}  // namespace orlith
