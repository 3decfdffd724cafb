#pragma once

#include <cstdint>

#include "video/PixelBuffer.h"

namespace platform {

// Receives a capture session's frames, on the session's delivery queue.
class SampleBufferDelegate {
 public:
  virtual ~SampleBufferDelegate() = default;
  // Asked on the capture thread for each frame the device hands over, before it is decoded:
  // false drops it there, so a frame the delegate would let go unseen costs no decode.
  virtual bool wantsFrame() { return true; }
  // An NV12 full-range frame with packed rows.
  virtual void captureOutput(const PixelBufferRef& frame, int64_t timestampUs) = 0;
  // The stream ended by itself: ENODEV when the camera was unplugged, another errno otherwise.
  virtual void captureSessionEnded(int error) { (void)error; }
};

}  // namespace platform
