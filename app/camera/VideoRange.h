#pragma once

#include <cstdint>

namespace corvane {

// Video range (luma 16..235, chroma 16..240) to full range, row by row, in 14-bit fixed point:
// 255 / 219 = 19077 / 16384 and 255 / 224 = 18651 / 16384, rounded, clamped to 0..255. Files
// decode to video range and every later stage takes full range, so each frame's 6 MB pass
// through here: sixteen pixels at a time where the processor has AVX2, the same values as the
// plain loops everywhere.
class VideoRange {
 public:
  static void expandLuma(const uint8_t* src, uint8_t* dst, int n);
  static void expandChroma(const uint8_t* src, uint8_t* dst, int n);
  // Planar U and V rows to one interleaved (NV12) row of n pairs.
  static void interleaveExpanded(const uint8_t* u, const uint8_t* v, uint8_t* dst, int n);

  // One value, as the rows give it.
  static uint8_t luma(uint8_t value);
  static uint8_t chroma(uint8_t value);
};

}  // namespace corvane
