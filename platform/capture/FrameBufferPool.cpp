#include "capture/FrameBufferPool.h"

namespace platform {

FrameBufferPool::FrameBufferPool(int width, int height, size_t capacity)
    : width_(width), height_(height), capacity_(capacity) {}

PixelBufferRef FrameBufferPool::get() {
  std::lock_guard lock(mutex_);
  for (auto& b : buffers_) {
    if (b.use_count() == 1) return b;
  }
  if (buffers_.size() >= capacity_) return nullptr;
  PixelBuffer::Options packed;
  packed.rowAlignment = 1;  // consumers expect bytes per row equal to the width
  auto b = PixelBuffer::create(width_, height_, PixelFormat::NV12FullRange, packed);
  if (b) buffers_.push_back(b);
  return b;
}

size_t FrameBufferPool::size() const {
  std::lock_guard lock(mutex_);
  return buffers_.size();
}

}  // namespace platform
