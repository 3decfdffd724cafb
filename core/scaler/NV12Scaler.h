#pragma once

#include <cstdint>

namespace orlith {

// Resizes NV12 pictures with separable, corner-aligned bilinear interpolation in 14-bit fixed
// point: tables once per size pair, a horizontal pass into a 16-bit intermediate buffer (pixel
// x 64), then a vertical pass into the 8-bit plane. Stateless; the caller owns every table and
// buffer. The unused integer arguments keep the exported signatures.
// The table builders refuse sizes below 2 x 2 or missing tables (false, nothing written); the
// passes do nothing with missing buffers.
class NV12Scaler {
 public:
  bool build_resize_table_y(int srcWidth, int srcHeight, int unused0, int dstWidth, int dstHeight,
                            int unused1, int* xPositions, int16_t* xWeights, int* yPositions,
                            int16_t* yWeights) const;
  bool build_resize_table_uv(int srcWidth, int srcHeight, int unused0, int dstWidth,
                             int dstHeight, int unused1, int* xPositions, int16_t* xWeights,
                             int* yPositions, int16_t* yWeights) const;

  void resize_horizontal_y(const uint8_t* src, int unused0, int srcRows, int srcStep,
                           int16_t* intermediate, int intermediateStep, int dstWidth, int unused1,
                           int unused2, const int* xPositions, const int16_t* xWeights) const;
  // srcRows is the luma height; dstWidth is in bytes (U and V interleaved).
  void resize_horizontal_uv(const uint8_t* src, int unused0, int srcRows, int srcStep,
                            int16_t* intermediate, int intermediateStep, int dstWidth, int unused1,
                            int unused2, const int* xPositions, const int16_t* xWeights) const;
  void resize_vertical_y(const int16_t* intermediate, int intermediateStep, int unused0,
                         int unused1, int unused2, uint8_t* dst, int dstWidth, int dstRows,
                         int dstStep, const int* yPositions, const int16_t* yWeights) const;
  // dstWidth in bytes, dstRows the luma height.
  void resize_vertical_uv(const int16_t* intermediate, int intermediateStep, int unused0,
                          int unused1, int unused2, uint8_t* dst, int dstWidth, int dstRows,
                          int dstStep, const int* yPositions, const int16_t* yWeights) const;

  // The same results; the destination and each of its rows must be 16-byte aligned.
  void resize_horizontal_y_to_aligned_buffer(const uint8_t* src, int unused0, int srcRows,
                                             int srcStep, int16_t* intermediate,
                                             int intermediateStep, int dstWidth, int unused1,
                                             int unused2, const int* xPositions,
                                             const int16_t* xWeights) const;
  void resize_horizontal_uv_to_aligned_buffer(const uint8_t* src, int unused0, int srcRows,
                                              int srcStep, int16_t* intermediate,
                                              int intermediateStep, int dstWidth, int unused1,
                                              int unused2, const int* xPositions,
                                              const int16_t* xWeights) const;
  void resize_vertical_y_to_aligned_buffer(const int16_t* intermediate, int intermediateStep,
                                           int unused0, int unused1, int unused2, uint8_t* dst,
                                           int dstWidth, int dstRows, int dstStep,
                                           const int* yPositions, const int16_t* yWeights) const;
  void resize_vertical_uv_to_aligned_buffer(const int16_t* intermediate, int intermediateStep,
                                            int unused0, int unused1, int unused2, uint8_t* dst,
                                            int dstWidth, int dstRows, int dstStep,
                                            const int* yPositions, const int16_t* yWeights) const;
};

}  // namespace orlith
