#pragma once

#include <QImage>

#include "video/PixelBuffer.h"

namespace corvane {

// Draws still pictures into camera-style frames, so a picture file can stand in for the camera.
class Converter {
 public:
  // Draws `image` into the two planes of an NV12 full-range frame, top-left aligned, with the
  // full-range BT.601 coefficients the renderer reads every frame with. Only the part that fits
  // both the image and the frame is written. False when the frame is not NV12 or the image empty.
  static bool pixelBuffer(platform::PixelBuffer& frame, const QImage& image);

  // Fills an NV12 full-range frame with black (luma 0, chroma 128).
  static void clearToBlack(platform::PixelBuffer& frame);
};

}  // namespace corvane
