#pragma once

#include <cstdint>

#include "video/PixelBuffer.h"

namespace orlith {

// Small operations on NV12 pictures (a luma plane, then interleaved CbCr at half size).
class NV12Picture {
 public:
  // Row by row with each plane's bytes per row, in one block where both planes are packed;
  // false when the sizes or formats differ.
  static bool copy(const platform::PixelBuffer& from, platform::PixelBuffer& to);
  // Packed rows: every luma row reversed, every chroma row reversed pair by pair.
  static void mirror(uint8_t* bytes, int width, int height);
  // Packed rows: dashed vertical lines every width / 8 (made odd) columns.
  static void addReferenceLines(uint8_t* bytes, int width, int height);
};

}  // namespace orlith
