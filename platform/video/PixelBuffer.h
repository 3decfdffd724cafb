#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform {

// Four-character pixel format codes, as the capture and render code names them.
enum class PixelFormat : uint32_t {
  NV12FullRange = 0x34323066,  // '420f': bi-planar 4:2:0, full range
  BGRA = 0x42475241,           // 'BGRA': 32 bits per pixel, B G R A in memory
};

const char* pixelFormatName(PixelFormat format);

class PixelBuffer;
using PixelBufferRef = std::shared_ptr<PixelBuffer>;

// A reference-counted picture in memory: one plane (BGRA) or two (NV12: luma, then the
// interleaved CbCr plane at half width and height). Rows may be padded: always step by
// bytesPerRow. A buffer made with `shared` lives in a memfd so it can cross processes.
class PixelBuffer {
 public:
  struct Options {
    size_t rowAlignment = 64;  // bytes per row are rounded up to this
    size_t extraRowBytes = 0;  // padding added to each row beyond the alignment
    bool shared = false;       // memfd-backed
  };

  // The longest side a buffer can have; create() gives none past it.
  static constexpr int kMaxSide = 32768;

  static PixelBufferRef create(int width, int height, PixelFormat format);
  static PixelBufferRef create(int width, int height, PixelFormat format, const Options& options);

  ~PixelBuffer();
  PixelBuffer(const PixelBuffer&) = delete;
  PixelBuffer& operator=(const PixelBuffer&) = delete;

  int width() const { return width_; }
  int height() const { return height_; }
  PixelFormat format() const { return format_; }
  size_t planeCount() const { return planeCount_; }
  int planeWidth(size_t plane) const;  // in samples of the plane (CbCr pairs for NV12 plane 1)
  int planeHeight(size_t plane) const;
  size_t bytesPerRow(size_t plane) const;
  uint8_t* baseAddress(size_t plane);
  const uint8_t* baseAddress(size_t plane) const;
  size_t dataSize() const { return size_; }

  // The file descriptor of a shared buffer, or -1.
  int fd() const { return fd_; }

  // Access bracket, kept for callers that pair them; memory here is always mapped.
  void lock(bool readOnly = false);
  void unlock(bool readOnly = false);
  int lockCount() const;

  // Copies the picture of another buffer of the same size and format, row by row.
  bool copyFrom(const PixelBuffer& other);

 private:
  PixelBuffer() = default;

  int width_ = 0;
  int height_ = 0;
  PixelFormat format_ = PixelFormat::BGRA;
  size_t planeCount_ = 0;
  size_t bytesPerRow_[2] = {0, 0};
  size_t offset_[2] = {0, 0};
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  int fd_ = -1;
  int locks_ = 0;
};

}  // namespace platform
