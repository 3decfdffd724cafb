#include "video/PixelBuffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace platform {

const char* pixelFormatName(PixelFormat format) {
  switch (format) {
    case PixelFormat::NV12FullRange:
      return "420f";
    case PixelFormat::BGRA:
      return "BGRA";
  }
  return "????";
}

namespace {
size_t roundUp(size_t n, size_t to) { return to <= 1 ? n : (n + to - 1) / to * to; }
}  // namespace

PixelBufferRef PixelBuffer::create(int width, int height, PixelFormat format) {
  return create(width, height, format, Options{});
}

PixelBufferRef PixelBuffer::create(int width, int height, PixelFormat format,
                                   const Options& options) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return nullptr;
  if (format == PixelFormat::NV12FullRange && (width % 2 || height % 2)) return nullptr;
  PixelBufferRef buffer(new PixelBuffer());
  buffer->width_ = width;
  buffer->height_ = height;
  buffer->format_ = format;
  size_t align = options.rowAlignment ? options.rowAlignment : 1;
  if (format == PixelFormat::BGRA) {
    buffer->planeCount_ = 1;
    buffer->bytesPerRow_[0] = roundUp(size_t(width) * 4, align) + options.extraRowBytes;
    buffer->size_ = buffer->bytesPerRow_[0] * size_t(height);
  } else {
    buffer->planeCount_ = 2;
    size_t row = roundUp(size_t(width), align) + options.extraRowBytes;
    buffer->bytesPerRow_[0] = row;
    buffer->bytesPerRow_[1] = row;
    buffer->offset_[1] = roundUp(row * size_t(height), 64);
    buffer->size_ = buffer->offset_[1] + row * size_t(height / 2);
  }
  if (options.shared) {
    int fd = memfd_create("pixelbuffer", MFD_CLOEXEC);
    if (fd < 0) return nullptr;
    if (ftruncate(fd, off_t(buffer->size_)) != 0) {
      close(fd);
      return nullptr;
    }
    void* p = mmap(nullptr, buffer->size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) {
      close(fd);
      return nullptr;
    }
    buffer->fd_ = fd;
    buffer->data_ = static_cast<uint8_t*>(p);
  } else {
    buffer->data_ = static_cast<uint8_t*>(std::aligned_alloc(64, roundUp(buffer->size_, 64)));
    if (!buffer->data_) return nullptr;
    std::memset(buffer->data_, 0, buffer->size_);
  }
  return buffer;
}

PixelBuffer::~PixelBuffer() {
  if (fd_ >= 0) {
    munmap(data_, size_);
    close(fd_);
  } else {
    std::free(data_);
  }
}

int PixelBuffer::planeWidth(size_t plane) const {
  if (plane >= planeCount_) return 0;
  return plane == 0 ? width_ : width_ / 2;
}

int PixelBuffer::planeHeight(size_t plane) const {
  if (plane >= planeCount_) return 0;
  return plane == 0 ? height_ : height_ / 2;
}

size_t PixelBuffer::bytesPerRow(size_t plane) const {
  return plane < planeCount_ ? bytesPerRow_[plane] : 0;
}

uint8_t* PixelBuffer::baseAddress(size_t plane) {
  return plane < planeCount_ ? data_ + offset_[plane] : nullptr;
}

const uint8_t* PixelBuffer::baseAddress(size_t plane) const {
  return plane < planeCount_ ? data_ + offset_[plane] : nullptr;
}

void PixelBuffer::lock(bool) { __atomic_add_fetch(&locks_, 1, __ATOMIC_ACQ_REL); }

void PixelBuffer::unlock(bool) { __atomic_sub_fetch(&locks_, 1, __ATOMIC_ACQ_REL); }

int PixelBuffer::lockCount() const { return __atomic_load_n(&locks_, __ATOMIC_ACQUIRE); }

bool PixelBuffer::copyFrom(const PixelBuffer& other) {
  if (other.width_ != width_ || other.height_ != height_ || other.format_ != format_) return false;
  for (size_t p = 0; p < planeCount_; ++p) {
    size_t rowBytes = format_ == PixelFormat::BGRA ? size_t(width_) * 4 : size_t(width_);
    for (int y = 0; y < planeHeight(p); ++y) {
      std::memcpy(baseAddress(p) + y * bytesPerRow_[p],
                  other.baseAddress(p) + y * other.bytesPerRow_[p], rowBytes);
    }
  }
  return true;
}

}  // namespace platform
