#pragma once

#include <mutex>
#include <vector>

#include "video/PixelBuffer.h"

namespace platform {

// Reuses NV12 frames once nobody holds them any more, up to a fixed number of buffers.
class FrameBufferPool {
 public:
  FrameBufferPool(int width, int height, size_t capacity);
  // A free buffer, or nullptr when all are in use.
  PixelBufferRef get();
  size_t size() const;

 private:
  int width_, height_;
  size_t capacity_;
  mutable std::mutex mutex_;
  std::vector<PixelBufferRef> buffers_;
};

}  // namespace platform
