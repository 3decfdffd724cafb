#pragma once

#include <cstddef>
#include <mutex>
#include <vector>

#include "video/PixelBuffer.h"

namespace orlith {

// The facade's analysis copies of camera frames: each queued frame has its own, so a later
// frame never overwrites one still waiting; copies come back for reuse once processed.
// Rows are packed, so a plane's bytes per row equal its width.
class FrameCopyPool {
 public:
  static constexpr size_t kSpares = 4;

  // A copy of that size, reused or new; null when memory runs out.
  platform::PixelBufferRef take(int width, int height);
  // Kept for reuse when it still has the size in use.
  void give(platform::PixelBufferRef copy, int width, int height);
  void clear();

 private:
  std::mutex mutex_;
  std::vector<platform::PixelBufferRef> spares_;
};

}  // namespace orlith
