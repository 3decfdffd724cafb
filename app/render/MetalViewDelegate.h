#pragma once

#include "video/PixelBuffer.h"

namespace corvane {

// Receives the effect pass's NV12 output of every frame.
class MetalViewDelegate {
 public:
  virtual ~MetalViewDelegate() = default;
  virtual void metalViewDidOutput(const platform::PixelBufferRef& buffer) = 0;
};

}  // namespace corvane
