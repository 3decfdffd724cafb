#include "render/LayoutKernel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>

#include "render/LayoutRecords.h"
#include "render/LayoutRemapCache.h"
#include "render/compute/Sampler.h"
#include "util/CpuFeatures.h"

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define CORVANE_LAYOUT_AVX2 1
#endif

namespace corvane {

namespace {

using compute::Texture;

constexpr uint32_t kOpaqueBlack = 0xFF000000u;

// A texel spread to four 16-bit lanes (B, R, G, A for BGRA bytes), so one 64-bit multiply
// weighs all four channels at once.
inline uint64_t spread(uint32_t p) {
  return uint64_t(p & 0x00FF00FFu) | uint64_t((p >> 8) & 0x00FF00FFu) << 32;
}
inline uint64_t lerpSpread(uint64_t a, uint64_t b, uint64_t w) {
  constexpr uint64_t kMask = 0x00FF00FF00FF00FFull, kHalf = 0x0080008000800080ull;
  return ((a * (256 - w) + b * w + kHalf) >> 8) & kMask;
}
inline uint32_t pack(uint64_t v) { return uint32_t(v) | uint32_t(v >> 32) << 8; }
inline uint32_t bilinear(uint32_t p00, uint32_t p01, uint32_t p10, uint32_t p11, uint32_t wx,
                         uint32_t wy) {
  uint64_t top = lerpSpread(spread(p00), spread(p01), wx);
  uint64_t bottom = lerpSpread(spread(p10), spread(p11), wx);
  return pack(lerpSpread(top, bottom, wy));
}

inline uint32_t rgbaToBgra(uint32_t p) {
  return (p & 0xFF00FF00u) | ((p & 0xFFu) << 16) | ((p >> 16) & 0xFFu);
}

#if CORVANE_LAYOUT_AVX2
#define CORVANE_AVX2 __attribute__((target("avx2")))

// a x (256 - w) + b x w, rounded, in 16-bit lanes: exact, as the sum stays under 2^16.
CORVANE_AVX2 inline __m256i lerp16(__m256i a, __m256i b, __m256i w, __m256i iw) {
  __m256i sum = _mm256_add_epi16(_mm256_mullo_epi16(a, iw), _mm256_mullo_epi16(b, w));
  return _mm256_srli_epi16(_mm256_add_epi16(sum, _mm256_set1_epi16(128)), 8);
}

// Four pixels of one source row blended across, from their left columns (the right ones next
// to them): 16-bit channels, pixels 0, 1 | 2, 3.
CORVANE_AVX2 inline __m256i across4(const uint32_t* row, __m128i columns, __m256i w, __m256i iw) {
  // Four 8-byte reads rather than a gather: the gather's micro-ops cost more than the loads.
  auto pair = [row](int column) {
    long long v;
    std::memcpy(&v, row + column, 8);
    return v;
  };
  __m256i pairs =
      _mm256_setr_epi64x(pair(_mm_extract_epi32(columns, 0)), pair(_mm_extract_epi32(columns, 1)),
                         pair(_mm_extract_epi32(columns, 2)), pair(_mm_extract_epi32(columns, 3)));
  // Each lane's two pairs (a0 b0 a1 b1) to a0 a1 b0 b1.
  pairs = _mm256_shuffle_epi32(pairs, 0xD8);
  __m256i zero = _mm256_setzero_si256();
  return lerp16(_mm256_unpacklo_epi8(pairs, zero), _mm256_unpackhi_epi8(pairs, zero), w, iw);
}

// Eight pixels of one source row blended across, all within nine texels from `texels`: two
// reads and a permute per side. 16-bit channels, pixels 0 1 | 4 5 in low, 2 3 | 6 7 in high.
CORVANE_AVX2 inline void across8(const uint32_t* texels, __m256i index, __m256i wLow, __m256i iwLow,
                                 __m256i wHigh, __m256i iwHigh, __m256i& low, __m256i& high) {
  __m256i left = _mm256_permutevar8x32_epi32(
      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(texels)), index);
  __m256i right = _mm256_permutevar8x32_epi32(
      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(texels + 1)), index);
  __m256i zero = _mm256_setzero_si256();
  low = lerp16(_mm256_unpacklo_epi8(left, zero), _mm256_unpacklo_epi8(right, zero), wLow, iwLow);
  high = lerp16(_mm256_unpackhi_epi8(left, zero), _mm256_unpackhi_epi8(right, zero), wHigh, iwHigh);
}

// Plain source rows (opaque BGRA out) eight pixels at a time where each pixel's two columns
// are neighbours: one 8-byte read per pixel and row, the blends in 16-bit lanes with the same
// rounding as the scalar ones; other pixels (an edge clamped or wrapped) one at a time.
// Returns the first pixel it left.
CORVANE_AVX2 int drawCropRowAvx2(const uint32_t* __restrict r0, const uint32_t* __restrict r1,
                                 uint32_t wy, const int32_t* __restrict ca,
                                 const int32_t* __restrict cb, const uint16_t* __restrict cw, int n,
                                 int textureWidth, uint32_t* __restrict o) {
  const __m256i one = _mm256_set1_epi32(1), full = _mm256_set1_epi16(256),
                opaque = _mm256_set1_epi32(int(kOpaqueBlack));
  // Each pixel's weight spread over its four channels.
  const __m256i spreadWeight = _mm256_setr_epi8(0, 1, 0, 1, 0, 1, 0, 1, 8, 9, 8, 9, 8, 9, 8, 9, 0,
                                                1, 0, 1, 0, 1, 0, 1, 8, 9, 8, 9, 8, 9, 8, 9);
  const __m256i spreadLow = _mm256_setr_epi8(0, 1, 0, 1, 0, 1, 0, 1, 2, 3, 2, 3, 2, 3, 2, 3, 8, 9,
                                             8, 9, 8, 9, 8, 9, 10, 11, 10, 11, 10, 11, 10, 11);
  const __m256i spreadHigh =
      _mm256_setr_epi8(4, 5, 4, 5, 4, 5, 4, 5, 6, 7, 6, 7, 6, 7, 6, 7, 12, 13, 12, 13, 12, 13, 12,
                       13, 14, 15, 14, 15, 14, 15, 14, 15);
  const __m256i wyv = _mm256_set1_epi16(int16_t(wy)), iwyv = _mm256_set1_epi16(int16_t(256 - wy));
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ca + i));
    __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cb + i));
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_add_epi32(a, one), b)) != -1) {
      for (int k = i; k < i + 8; ++k)
        o[k] = bilinear(r0[ca[k]], r0[cb[k]], r1[ca[k]], r1[cb[k]], cw[k], wy) | kOpaqueBlack;
      continue;
    }
    int first = ca[i];
    if (ca[i + 7] - first <= 7 && first + 8 < textureWidth) {
      // Not shrinking here: the eight pixels read within nine neighbouring texels.
      __m256i index = _mm256_sub_epi32(a, _mm256_set1_epi32(first));
      __m256i weights =
          _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cw + i)));
      // Pixels 0 1 | 4 5 and 2 3 | 6 7, as the byte unpacks leave them.
      __m256i wLow = _mm256_shuffle_epi8(weights, spreadLow);
      __m256i wHigh = _mm256_shuffle_epi8(weights, spreadHigh);
      __m256i iwLow = _mm256_sub_epi16(full, wLow), iwHigh = _mm256_sub_epi16(full, wHigh);
      __m256i low, high;
      across8(r0 + first, index, wLow, iwLow, wHigh, iwHigh, low, high);
      if (wy != 0) {
        __m256i low1, high1;
        across8(r1 + first, index, wLow, iwLow, wHigh, iwHigh, low1, high1);
        low = lerp16(low, low1, wyv, iwyv);
        high = lerp16(high, high1, wyv, iwyv);
      }
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + i),
                          _mm256_or_si256(_mm256_packus_epi16(low, high), opaque));
      continue;
    }
    __m256i result[2];
    for (int h = 0; h < 2; ++h) {
      __m128i columns = _mm256_extracti128_si256(a, 0);
      if (h) columns = _mm256_extracti128_si256(a, 1);
      __m256i w = _mm256_shuffle_epi8(
          _mm256_cvtepu16_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cw + i + 4 * h))),
          spreadWeight);
      __m256i iw = _mm256_sub_epi16(full, w);
      __m256i top = across4(r0, columns, w, iw);
      result[h] = wy == 0 ? top : lerp16(top, across4(r1, columns, w, iw), wyv, iwyv);
    }
    // Pixels 0 1 4 5 | 2 3 6 7 back in order.
    __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(result[0], result[1]), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + i), _mm256_or_si256(packed, opaque));
  }
  return i;
}

const bool kAvx2 = CpuFeatures::avx2();
#endif

void drawCropRow(const LayoutRemapCache::Tile& t, const Texture& tex, int y, uint32_t* out) {
  size_t j = size_t(y - t.y0);
  const uint32_t* __restrict r0 = reinterpret_cast<const uint32_t*>(tex.row(t.rowA[j]));
  const uint32_t* __restrict r1 = reinterpret_cast<const uint32_t*>(tex.row(t.rowB[j]));
  const uint32_t wy = t.rowW[j];
  const int32_t* __restrict ca = t.colA.data();
  const int32_t* __restrict cb = t.colB.data();
  const uint16_t* __restrict cw = t.colW.data();
  const int n = t.x1 - t.x0;
  uint32_t* __restrict o = out + t.x0;
#if CORVANE_LAYOUT_AVX2
  if (kAvx2 && !t.thumbnail) {
    int done = drawCropRowAvx2(r0, r1, wy, ca, cb, cw, n, tex.width(), o);
    for (int i = done; i < n; ++i)
      o[i] = bilinear(r0[ca[i]], r0[cb[i]], r1[ca[i]], r1[cb[i]], cw[i], wy) | kOpaqueBlack;
    return;
  }
#endif
  // One pass over the row: the sample, its byte order and opaque alpha together.
  auto draw = [&](auto finish) {
    if (wy == 0) {
      for (int i = 0; i < n; ++i)
        o[i] = finish(pack(lerpSpread(spread(r0[ca[i]]), spread(r0[cb[i]]), cw[i])));
    } else {
      for (int i = 0; i < n; ++i)
        o[i] = finish(bilinear(r0[ca[i]], r0[cb[i]], r1[ca[i]], r1[cb[i]], cw[i], wy));
    }
  };
  if (t.thumbnail)
    draw([](uint32_t p) { return rgbaToBgra(p) | kOpaqueBlack; });
  else
    draw([](uint32_t p) { return p | kOpaqueBlack; });
}

void drawPerspectiveRow(const LayoutRemapCache::Tile& t, const Texture& tex, int y, uint32_t* out) {
  int n = t.x1 - t.x0;
  size_t base = size_t(y - t.y0) * size_t(n);
  const int32_t* mx = t.mapX.data() + base;
  const int32_t* my = t.mapY.data() + base;
  int w = tex.width(), h = tex.height();
  uint32_t* o = out + t.x0;
  for (int i = 0; i < n; ++i) {
    if (my[i] == LayoutRemapCache::kBlank) {
      o[i] = kOpaqueBlack;
      continue;
    }
    int x0 = mx[i] >> 8, y0 = my[i] >> 8;
    uint32_t wx = uint32_t(mx[i] & 255), wy = uint32_t(my[i] & 255);
    int x1 = x0 + 1;
    if (t.wrapX) {
      if (x1 >= w) x1 -= w;
    } else {
      x0 = std::clamp(x0, 0, w - 1);
      x1 = std::min(x1, w - 1);
    }
    int y1 = std::clamp(y0 + 1, 0, h - 1);
    y0 = std::clamp(y0, 0, h - 1);
    const auto* r0 = reinterpret_cast<const uint32_t*>(tex.row(y0));
    const auto* r1 = reinterpret_cast<const uint32_t*>(tex.row(y1));
    o[i] = bilinear(r0[x0], r0[x1], r1[x0], r1[x1], wx, wy) | kOpaqueBlack;
  }
}

void drawEdges(const RoiProperty& d, const LayoutRemapCache::Tile& t, int y, int64_t edgeWidth,
               uint32_t colour, uint32_t* out) {
  int ew = int(std::clamp<int64_t>(edgeWidth, 0, 1 << 16));
  if (ew == 0) return;
  // Bands inside the tile's own rectangle (not the clipped span) so edges sit where the tile is.
  int left = int(std::lround(d.x)), right = int(std::lround(d.x + d.width));
  int top = int(std::lround(d.y)), bottom = int(std::lround(d.y + d.height));
  bool fullRow = (d.edge_top && y < top + ew) || (d.edge_bottom && y >= bottom - ew);
  if (fullRow) {
    std::fill(out + t.x0, out + t.x1, colour);
    return;
  }
  if (d.edge_left)
    for (int x = std::max(left, t.x0); x < std::min(left + ew, t.x1); ++x) out[x] = colour;
  if (d.edge_right)
    for (int x = std::max(right - ew, t.x0); x < std::min(right, t.x1); ++x) out[x] = colour;
}

uint8_t colourByte(float v) { return uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); }

}  // namespace

void layoutKernel(const compute::ArgumentTable& args, const compute::GridRow& grid) {
  Texture* output = args.texture(kLayoutOutputTexture);
  const auto* uniforms = args.buffer<LayoutUniforms>(kLayoutUniforms);
  constexpr size_t listBytes = sizeof(RoiProperty) * kLayoutRecordCount;
  if (!output || !uniforms || args.bufferLength(kLayoutDestinationList) < listBytes ||
      output->format() != compute::TextureFormat::BGRA8Unorm)
    return;
  int y = int(grid.row);
  int width = std::min(output->width(), int(uniforms->output_size[0]));
  int height = std::min(output->height(), int(uniforms->output_size[1]));
  if (y >= height || width <= 0) return;
  auto* out = reinterpret_cast<uint32_t*>(output->row(y));

  const auto* cache = static_cast<const LayoutRemapCache*>(args.bufferData(kLayoutRemapTables));
  if (!cache) {
    std::fill(out, out + width, kOpaqueBlack);
    return;
  }
  const auto* dst = static_cast<const RoiProperty*>(args.bufferData(kLayoutDestinationList));
  Texture* source = args.texture(kLayoutSourceTexture);
  Texture* thumbnail = args.texture(kLayoutThumbnailTexture);
  uint32_t highlight = kOpaqueBlack | uint32_t(colourByte(uniforms->highlight_color[0])) << 16 |
                       uint32_t(colourByte(uniforms->highlight_color[1])) << 8 |
                       colourByte(uniforms->highlight_color[2]);

  // The tiles this row draws, each over its whole span; black goes only where none does.
  std::array<size_t, kLayoutRecordCount> drawn;
  std::array<std::pair<int, int>, kLayoutRecordCount> spans;
  size_t count = 0;
  for (size_t i = 0; i < kLayoutRecordCount; ++i) {
    const auto& t = cache->tile(i);
    if (!t.active || y < t.y0 || y >= t.y1 || t.x1 > width) continue;
    const Texture* tex = t.thumbnail ? thumbnail : source;
    // A map made for another texture size must not index this one.
    if (!tex || tex->width() != t.textureWidth || tex->height() != t.textureHeight ||
        bytesPerTexel(tex->format()) != 4)
      continue;
    drawn[count] = i;
    spans[count++] = {t.x0, t.x1};
  }
  std::sort(spans.begin(), spans.begin() + long(count));
  int x = 0;
  for (size_t k = 0; k < count; ++k) {
    if (spans[k].first > x) std::fill(out + x, out + spans[k].first, kOpaqueBlack);
    x = std::max(x, spans[k].second);
  }
  if (x < width) std::fill(out + x, out + width, kOpaqueBlack);

  for (size_t k = 0; k < count; ++k) {
    size_t i = drawn[k];
    const auto& t = cache->tile(i);
    const Texture& tex = t.thumbnail ? *thumbnail : *source;
    if (t.perspective)
      drawPerspectiveRow(t, tex, y, out);
    else
      drawCropRow(t, tex, y, out);
    drawEdges(dst[i], t, y, uniforms->edge_width, highlight, out);
  }
}

}  // namespace corvane
