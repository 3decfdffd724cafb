#include "FrameCopyPool.h"

namespace orlith {

using platform::PixelBuffer;
using platform::PixelBufferRef;
using platform::PixelFormat;

PixelBufferRef FrameCopyPool::take(int width, int height) {
  {
    std::lock_guard lock(mutex_);
    while (!spares_.empty()) {
      PixelBufferRef copy = std::move(spares_.back());
      spares_.pop_back();
      if (copy->width() == width && copy->height() == height) return copy;
    }
  }
  PixelBuffer::Options packed;
  packed.rowAlignment = 1;
  return PixelBuffer::create(width, height, PixelFormat::NV12FullRange, packed);
}

void FrameCopyPool::give(PixelBufferRef copy, int width, int height) {
  if (!copy || copy->width() != width || copy->height() != height) return;
  std::lock_guard lock(mutex_);
  if (spares_.size() < kSpares) spares_.push_back(std::move(copy));
}

void FrameCopyPool::clear() {
  std::lock_guard lock(mutex_);
  spares_.clear();
}

}  // namespace orlith
