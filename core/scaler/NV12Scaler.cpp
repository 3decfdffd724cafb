#include "scaler/NV12Scaler.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>

#include "OrlithLog.h"

namespace orlith {

namespace {

constexpr int kOne = 16384;  // 1.0 in 14-bit fixed point

// Position of the left (upper) neighbour and the weight of the right (lower) one for output
// sample i of D taken from S source samples: corner-aligned, f = i x S / D.
void tableEntry(int i, int S, int D, int* position, int* weight) {
  long long product = static_cast<long long>(i) * S;
  float f = static_cast<float>(product) / static_cast<float>(D);
  int s = static_cast<int>(f);
  *position = std::min(S - 2, s);
  *weight = s < S - 1 ? static_cast<int>(std::lround((f - static_cast<float>(s)) * kOne)) : kOne;
}

bool validSizes(const char* what, int sw, int sh, int dw, int dh) {
  if (sw >= 2 && sh >= 2 && dw >= 1 && dh >= 1) return true;
  ORLITH_LOG_ERROR(std::string(what) + ": cannot resize " + std::to_string(sw) + "x" +
                   std::to_string(sh) + " to " + std::to_string(dw) + "x" + std::to_string(dh));
  return false;
}

inline uint8_t verticalValue(int w0, int w1, int16_t a, int16_t b) {
  int v = (w0 * a + w1 * b + 524288) >> 20;
  return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

void verticalPass(const int16_t* intermediate, int intermediateStep, uint8_t* dst, int dstWidth,
                  int rows, int dstStep, const int* yPositions, const int16_t* yWeights) {
  if (!intermediate || !dst || !yPositions || !yWeights) return;
  for (int i = 0; i < rows; ++i) {
    const int16_t* r0 = intermediate + static_cast<std::ptrdiff_t>(yPositions[i]) * intermediateStep;
    const int16_t* r1 = r0 + intermediateStep;
    int w0 = yWeights[2 * i], w1 = yWeights[2 * i + 1];
    uint8_t* out = dst + static_cast<std::ptrdiff_t>(i) * dstStep;
    for (int x = 0; x < dstWidth; ++x) out[x] = verticalValue(w0, w1, r0[x], r1[x]);
  }
}

}  // namespace

bool NV12Scaler::build_resize_table_y(int srcWidth, int srcHeight, int, int dstWidth,
                                      int dstHeight, int, int* xPositions, int16_t* xWeights,
                                      int* yPositions, int16_t* yWeights) const {
  if (!xPositions || !xWeights || !yPositions || !yWeights) return false;
  if (!validSizes("build_resize_table_y", srcWidth, srcHeight, dstWidth, dstHeight)) return false;
  for (int i = 0; i < dstWidth; ++i) {
    int pos, a;
    tableEntry(i, srcWidth, dstWidth, &pos, &a);
    xPositions[i] = pos;
    xWeights[2 * i] = static_cast<int16_t>(kOne - a);
    xWeights[2 * i + 1] = static_cast<int16_t>(a);
  }
  for (int i = 0; i < dstHeight; ++i) {
    int pos, a;
    tableEntry(i, srcHeight, dstHeight, &pos, &a);
    yPositions[i] = pos;
    yWeights[2 * i] = static_cast<int16_t>(kOne - a);
    yWeights[2 * i + 1] = static_cast<int16_t>(a);
  }
  return true;
}

bool NV12Scaler::build_resize_table_uv(int srcWidth, int srcHeight, int, int dstWidth,
                                       int dstHeight, int, int* xPositions, int16_t* xWeights,
                                       int* yPositions, int16_t* yWeights) const {
  if (!xPositions || !xWeights || !yPositions || !yWeights) return false;
  int sw = srcWidth / 2, sh = srcHeight / 2, dw = dstWidth / 2, dh = dstHeight / 2;
  if (!validSizes("build_resize_table_uv", sw, sh, dw, dh)) return false;
  for (int i = 0; i < dw; ++i) {
    int pos, a;
    tableEntry(i, sw, dw, &pos, &a);
    xPositions[i] = 2 * pos;  // byte offset into the interleaved row
    xWeights[4 * i] = xWeights[4 * i + 2] = static_cast<int16_t>(kOne - a);
    xWeights[4 * i + 1] = xWeights[4 * i + 3] = static_cast<int16_t>(a);
  }
  for (int i = 0; i < dh; ++i) {
    int pos, a;
    tableEntry(i, sh, dh, &pos, &a);
    yPositions[i] = pos;
    yWeights[2 * i] = static_cast<int16_t>(kOne - a);
    yWeights[2 * i + 1] = static_cast<int16_t>(a);
  }
  return true;
}

void NV12Scaler::resize_horizontal_y(const uint8_t* src, int, int srcRows, int srcStep,
                                     int16_t* intermediate, int intermediateStep, int dstWidth,
                                     int, int, const int* xPositions,
                                     const int16_t* xWeights) const {
  if (!src || !intermediate || !xPositions || !xWeights) return;
  for (int row = 0; row < srcRows; ++row) {
    const uint8_t* p = src + static_cast<std::ptrdiff_t>(row) * srcStep;
    int16_t* out = intermediate + static_cast<std::ptrdiff_t>(row) * intermediateStep;
    for (int j = 0; j < dstWidth; ++j) {
      const uint8_t* q = p + xPositions[j];
      out[j] = static_cast<int16_t>((xWeights[2 * j] * q[0] + xWeights[2 * j + 1] * q[1]) >> 8);
    }
  }
}

void NV12Scaler::resize_horizontal_uv(const uint8_t* src, int, int srcRows, int srcStep,
                                      int16_t* intermediate, int intermediateStep, int dstWidth,
                                      int, int, const int* xPositions,
                                      const int16_t* xWeights) const {
  if (!src || !intermediate || !xPositions || !xWeights || srcRows < 2) return;
  int rows = srcRows / 2, pairs = dstWidth / 2;
  for (int row = 0; row < rows; ++row) {
    const uint8_t* p = src + static_cast<std::ptrdiff_t>(row) * srcStep;
    int16_t* out = intermediate + static_cast<std::ptrdiff_t>(row) * intermediateStep;
    for (int j = 0; j < pairs; ++j) {
      const uint8_t* r = p + xPositions[j];
      int w0 = xWeights[4 * j], w1 = xWeights[4 * j + 1];
      out[2 * j] = static_cast<int16_t>((w0 * r[0] + w1 * r[2]) >> 8);
      out[2 * j + 1] = static_cast<int16_t>((w0 * r[1] + w1 * r[3]) >> 8);
    }
  }
}

void NV12Scaler::resize_vertical_y(const int16_t* intermediate, int intermediateStep, int, int,
                                   int, uint8_t* dst, int dstWidth, int dstRows, int dstStep,
                                   const int* yPositions, const int16_t* yWeights) const {
  verticalPass(intermediate, intermediateStep, dst, dstWidth, dstRows, dstStep, yPositions,
               yWeights);
}

void NV12Scaler::resize_vertical_uv(const int16_t* intermediate, int intermediateStep, int, int,
                                    int, uint8_t* dst, int dstWidth, int dstRows, int dstStep,
                                    const int* yPositions, const int16_t* yWeights) const {
  verticalPass(intermediate, intermediateStep, dst, dstWidth, dstRows / 2, dstStep, yPositions,
               yWeights);
}

void NV12Scaler::resize_horizontal_y_to_aligned_buffer(const uint8_t* src, int u0, int srcRows,
                                                       int srcStep, int16_t* intermediate,
                                                       int intermediateStep, int dstWidth, int u1,
                                                       int u2, const int* xPositions,
                                                       const int16_t* xWeights) const {
  resize_horizontal_y(src, u0, srcRows, srcStep, intermediate, intermediateStep, dstWidth, u1, u2,
                      xPositions, xWeights);
}

void NV12Scaler::resize_horizontal_uv_to_aligned_buffer(const uint8_t* src, int u0, int srcRows,
                                                        int srcStep, int16_t* intermediate,
                                                        int intermediateStep, int dstWidth, int u1,
                                                        int u2, const int* xPositions,
                                                        const int16_t* xWeights) const {
  resize_horizontal_uv(src, u0, srcRows, srcStep, intermediate, intermediateStep, dstWidth, u1, u2,
                       xPositions, xWeights);
}

void NV12Scaler::resize_vertical_y_to_aligned_buffer(const int16_t* intermediate,
                                                     int intermediateStep, int u0, int u1, int u2,
                                                     uint8_t* dst, int dstWidth, int dstRows,
                                                     int dstStep, const int* yPositions,
                                                     const int16_t* yWeights) const {
  resize_vertical_y(intermediate, intermediateStep, u0, u1, u2, dst, dstWidth, dstRows, dstStep,
                    yPositions, yWeights);
}

void NV12Scaler::resize_vertical_uv_to_aligned_buffer(const int16_t* intermediate,
                                                      int intermediateStep, int u0, int u1, int u2,
                                                      uint8_t* dst, int dstWidth, int dstRows,
                                                      int dstStep, const int* yPositions,
                                                      const int16_t* yWeights) const {
  resize_vertical_uv(intermediate, intermediateStep, u0, u1, u2, dst, dstWidth, dstRows, dstStep,
                     yPositions, yWeights);
}

}  // namespace orlith
