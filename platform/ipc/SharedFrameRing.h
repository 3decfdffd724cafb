#pragma once

#include <vector>

#include "video/PixelBuffer.h"

namespace platform {

// The memfd-backed frames the link hands to its peer when a frame does not live in a memfd of
// its own. The first frame copied fixes the size and pixel format of every slot; later frames
// are scaled and converted to it. Slots are reused in turn, so a peer has the time of the other
// slots' frames to read one.
class SharedFrameRing {
 public:
  explicit SharedFrameRing(size_t slots = 3);

  // The next slot with the frame's picture in it; none when the frame cannot be copied or no
  // shared memory can be had.
  PixelBufferRef copy(const PixelBuffer& frame);

  bool isSized() const { return !slots_.empty(); }
  int width() const { return width_; }
  int height() const { return height_; }
  PixelFormat format() const { return format_; }

 private:
  bool convert(const PixelBuffer& frame, PixelBuffer& slot);

  size_t slotCount_;
  std::vector<PixelBufferRef> slots_;
  size_t next_ = 0;
  int width_ = 0, height_ = 0;
  PixelFormat format_ = PixelFormat::BGRA;
  PixelBufferRef converted_;  // the frame in the ring's format, before scaling
  std::vector<uint8_t> u_, v_;
};

}  // namespace platform
