#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "video/PixelBuffer.h"

namespace platform {

// Decodes camera MJPEG frames into NV12 full-range pictures; one decoder serves one thread,
// frame after frame, and keeps its state and scratch rows between frames.
//
// The 4:2:2 and 4:2:0 frames cameras send are decoded one band of block rows at a time straight
// into the picture: the luma rows into its luma plane, the band's chroma into a few scratch rows
// that are interleaved into its chroma plane while they are still in cache (4:2:2: each two
// chroma rows averaged into one). So each sample is written once where it belongs, with no
// frame-sized intermediate picture. Other samplings go through libyuv's decoder.
class MjpegDecoder {
 public:
  enum class Status { decoded, corrupt, otherSize };

  // How a frame's components are decoded, from its header.
  enum class Road {
    halvedChroma,  // 4:2:2: luma in place, two chroma rows averaged into one
    chroma,        // 4:2:0: luma in place, chroma rows interleaved as they are
    libyuv,        // any other sampling: libyuv's own decode
  };
  struct Sampling {
    int components = 0;
    bool ycbcr = false;
    int h[3] = {0, 0, 0};  // horizontal sampling factor per component
    int v[3] = {0, 0, 0};  // vertical sampling factor per component
  };
  static Road roadFor(const Sampling& sampling);

  MjpegDecoder();
  ~MjpegDecoder();
  MjpegDecoder(const MjpegDecoder&) = delete;
  MjpegDecoder& operator=(const MjpegDecoder&) = delete;

  // Decodes `jpeg` into `frame` (NV12, the frame's size). A frame cut short (no end marker) or
  // that the JPEG library refuses is corrupt; one of another size is otherSize, and
  // width()/height() then tell its size. `frame` is left partly written by a frame that fails.
  Status decode(const uint8_t* jpeg, size_t size, PixelBuffer& frame);

  // The size in the last frame's header (0 x 0 when it could not be read).
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  struct Codec;
  std::unique_ptr<Codec> codec_;
  int width_ = 0, height_ = 0;
};

}  // namespace platform
