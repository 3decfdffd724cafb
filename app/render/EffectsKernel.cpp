#include "render/EffectsKernel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "render/EffectParameters.h"
#include "util/CpuFeatures.h"

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define CORVANE_LUMA_AVX2 1
#endif

namespace corvane {

namespace {

using compute::Texture;

// Motion-adaptive recursive noise reduction: the output moves from the current sample toward
// the reference by a share that grows with the level and fades out as the difference reaches
// kMotionThreshold (then it is motion, not noise). Truncation toward zero makes a still picture
// settle on itself exactly.
constexpr int kMotionThreshold = 32;

// Lighting and gamma on luma, one power curve; rebuilt by each worker thread only when the
// values change. A curve keeps black black and white white: a lift of every sample would grey
// the blacks and wash the picture out.
struct LumaTable {
  float brightness = NAN;
  float gamma = NAN;
  std::array<uint8_t, 256> map{};
  bool identity = false;
  void update(float b, float g) {
    if (b == brightness && g == gamma) return;
    brightness = b;
    gamma = g;
    float exponent = EffectParameters::lumaExponent(b, g);
    for (int i = 0; i < 256; ++i)
      map[size_t(i)] = uint8_t(std::lround(std::pow(i / 255.0f, exponent) * 255.0f));
    identity = true;
    for (int i = 0; i < 256; ++i) identity = identity && map[size_t(i)] == i;
  }
};

// The row loops are written to vectorise; GCC does so from -O3 only, so this part asks for it.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC push_options
#pragma GCC optimize("O3")
#endif

// The row loops are built twice, for AVX2 and for the baseline, and the loader picks one by
// the processor: the build targets baseline x86-64, where they vectorise 16 bytes at a time.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define CORVANE_ROW_CLONES __attribute__((target_clones("avx2", "default")))
#define CORVANE_ROW_INLINE __attribute__((always_inline)) inline
#else
#define CORVANE_ROW_CLONES
#define CORVANE_ROW_INLINE inline
#endif

inline uint8_t clampByte(int v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

bool covers(const Texture* t, int w, int h) { return t && t->width() >= w && t->height() >= h; }

// Source columns and weights of a resampled row, kept per worker thread while the sizes stay.
struct ColumnTable {
  int srcWidth = 0, dstWidth = 0;
  bool mirror = false;
  std::vector<int32_t> a, b;
  std::vector<uint16_t> w;
  void update(int source, int destination, bool flip) {
    if (source == srcWidth && destination == dstWidth && flip == mirror) return;
    srcWidth = source;
    dstWidth = destination;
    mirror = flip;
    a.resize(size_t(destination));
    b.resize(size_t(destination));
    w.resize(size_t(destination));
    for (int i = 0; i < destination; ++i) {
      // Centres aligned, 16.16 fixed point.
      int64_t sxf = ((int64_t(2 * i + 1) * source) << 16) / (2 * destination) - 32768;
      int x0 = int(std::clamp<int64_t>(sxf >> 16, 0, source - 1));
      int x1 = std::min(source - 1, x0 + 1);
      w[size_t(i)] = uint16_t(sxf < 0 ? 0 : (sxf >> 8) & 255);
      a[size_t(i)] = flip ? source - 1 - x0 : x0;
      b[size_t(i)] = flip ? source - 1 - x1 : x1;
    }
  }
};

// One row of an NV12 plane resampled bilinearly (1 or 2 bytes per sample), mirrored on demand.
// Exactly half size: the mean of each 2 x 2 block (a bilinear sample at the block's centre).
template <int Channels, bool Mirror>
CORVANE_ROW_INLINE void halveRow(const uint8_t* __restrict r0, const uint8_t* __restrict r1,
                                 uint8_t* __restrict out, int width, int srcWidth) {
  for (int i = 0; i < width; ++i) {
    int x = Mirror ? srcWidth - 2 - 2 * i : 2 * i;
    for (int c = 0; c < Channels; ++c)
      out[i * Channels + c] = uint8_t((r0[x * Channels + c] + r0[(x + 1) * Channels + c] +
                                       r1[x * Channels + c] + r1[(x + 1) * Channels + c] + 2) >>
                                      2);
  }
}

#if CORVANE_LUMA_AVX2
#define CORVANE_AVX2 __attribute__((target("avx2")))
// Sixteen 2 x 2 block means from 32 bytes of two rows (Cb and Cr apart once reordered).
template <int Channels>
CORVANE_AVX2 inline __m256i blockMeans(const uint8_t* r0, const uint8_t* r1, __m256i order) {
  __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r0));
  __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r1));
  if (Channels == 2) {
    a = _mm256_shuffle_epi8(a, order);
    b = _mm256_shuffle_epi8(b, order);
  }
  const __m256i ones = _mm256_set1_epi8(1);
  __m256i sum = _mm256_add_epi16(_mm256_maddubs_epi16(a, ones), _mm256_maddubs_epi16(b, ones));
  return _mm256_srli_epi16(_mm256_add_epi16(sum, _mm256_set1_epi16(2)), 2);
}

// The same 32 output bytes at a time: neighbouring samples summed by a multiply-add with ones,
// both rows added, rounded; mirrored rows read the mirror block and reverse the result.
template <int Channels, bool Mirror>
CORVANE_AVX2 void halveRowAvx2(const uint8_t* __restrict r0, const uint8_t* __restrict r1,
                               uint8_t* __restrict out, int width, int srcWidth) {
  // Two channels: each block Cb0 Cr0 Cb1 Cr1 reordered to Cb0 Cb1 Cr0 Cr1 so pairs add up.
  const __m256i order = _mm256_setr_epi8(0, 2, 1, 3, 4, 6, 5, 7, 8, 10, 9, 11, 12, 14, 13, 15, 0, 2,
                                         1, 3, 4, 6, 5, 7, 8, 10, 9, 11, 12, 14, 13, 15);
  // Reverses samples (1 or 2 bytes) within each 16-byte half.
  const __m256i reverse =
      Channels == 1 ? _mm256_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 15, 14,
                                       13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0)
                    : _mm256_setr_epi8(14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1, 14, 15,
                                       12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1);
  int bytes = width * Channels, srcBytes = srcWidth * Channels;
  int ob = 0;
  for (; ob + 32 <= bytes; ob += 32) {
    int at = Mirror ? srcBytes - 64 - 2 * ob : 2 * ob;
    __m256i v = _mm256_permute4x64_epi64(
        _mm256_packus_epi16(blockMeans<Channels>(r0 + at, r1 + at, order),
                            blockMeans<Channels>(r0 + at + 32, r1 + at + 32, order)),
        0xD8);
    if (Mirror) v = _mm256_permute4x64_epi64(_mm256_shuffle_epi8(v, reverse), 0x4E);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + ob), v);
  }
  for (int i = ob / Channels; i < width; ++i) {
    int x = Mirror ? srcWidth - 2 - 2 * i : 2 * i;
    for (int c = 0; c < Channels; ++c)
      out[i * Channels + c] = uint8_t((r0[x * Channels + c] + r0[(x + 1) * Channels + c] +
                                       r1[x * Channels + c] + r1[(x + 1) * Channels + c] + 2) >>
                                      2);
  }
}
#endif

template <int Channels>
CORVANE_ROW_CLONES void halveRowClones(const uint8_t* r0, const uint8_t* r1, uint8_t* out,
                                       int width, int srcWidth, bool mirror) {
  mirror ? halveRow<Channels, true>(r0, r1, out, width, srcWidth)
         : halveRow<Channels, false>(r0, r1, out, width, srcWidth);
}

template <int Channels>
void halveRowAny(const uint8_t* r0, const uint8_t* r1, uint8_t* out, int width, int srcWidth,
                 bool mirror) {
#if CORVANE_LUMA_AVX2
  if (CpuFeatures::avx2()) {
    mirror ? halveRowAvx2<Channels, true>(r0, r1, out, width, srcWidth)
           : halveRowAvx2<Channels, false>(r0, r1, out, width, srcWidth);
    return;
  }
#endif
  halveRowClones<Channels>(r0, r1, out, width, srcWidth, mirror);
}

template <int Channels>
void resampleRow(const Texture& src, int srcRows, int srcWidth, Texture& dst, int dstRow,
                 int dstWidth, int dstHeight, bool mirror) {
  int64_t syf = ((int64_t(2 * dstRow + 1) * srcRows) << 16) / (2 * dstHeight) - 32768;
  int y0 = int(std::clamp<int64_t>(syf >> 16, 0, srcRows - 1));
  int y1 = std::min(srcRows - 1, y0 + 1);
  uint32_t wy = syf < 0 ? 0 : uint32_t((syf >> 8) & 255);
  const uint8_t* r0 = src.row(y0);
  const uint8_t* r1 = src.row(y1);
  uint8_t* out = dst.row(dstRow);
  int width = std::min(dstWidth, dst.width());
  if (srcWidth == 2 * dstWidth && srcRows == 2 * dstHeight) {
    r0 = src.row(2 * dstRow);
    r1 = src.row(2 * dstRow + 1);
    halveRowAny<Channels>(r0, r1, out, width, srcWidth, mirror);
    return;
  }
  thread_local ColumnTable columns[2];
  ColumnTable& table = columns[Channels - 1];
  table.update(srcWidth, dstWidth, mirror);
  const int32_t* ta = table.a.data();
  const int32_t* tb = table.b.data();
  const uint16_t* tw = table.w.data();
  for (int i = 0; i < width; ++i) {
    uint32_t wx = tw[i];
    int x0 = ta[i] * Channels, x1 = tb[i] * Channels;
    for (int c = 0; c < Channels; ++c) {
      uint32_t top = r0[x0 + c] * (256 - wx) + r0[x1 + c] * wx;
      uint32_t bottom = r1[x0 + c] * (256 - wx) + r1[x1 + c] * wx;
      out[i * Channels + c] = uint8_t((top * (256 - wy) + bottom * wy + 32768) >> 16);
    }
  }
}

// Noise reduction of one sample toward its reference: d = reference - sample moves it by
// d x level/8 x (1 - |d|/32), truncated, in integer arithmetic so the loops vectorise.
inline int reduceToward(int sample, int reference, int level) {
  int d = reference - sample;
  int m = kMotionThreshold - (d < 0 ? -d : d);
  int t = d * level * (m > 0 ? m : 0);
  return sample + ((t + (t < 0 ? 255 : 0)) >> 8);
}

// Per pixel, planar: the blue, green and red chroma terms of a row pair.
struct ChromaTerms {
  int16_t* blue;
  int16_t* green;
  int16_t* red;
};

// One chroma row: mirror, noise reduction, the NV12 output, and its full-range BT.601 terms
// (8.8 fixed point) for both luma rows it serves.
template <bool Mirror, bool Reduce>
CORVANE_ROW_INLINE void chromaRow(const uint8_t* __restrict suv, const uint8_t* __restrict ruv,
                                  uint8_t* __restrict ouv, int pairs, int chromaWidth, int level,
                                  ChromaTerms t) {
  int16_t* __restrict tb = t.blue;
  int16_t* __restrict tg = t.green;
  int16_t* __restrict tr = t.red;
  for (int c = 0; c < pairs; ++c) {
    int sc = Mirror ? chromaWidth - 1 - c : c;
    int u = suv[2 * sc], v = suv[2 * sc + 1];
    if (Reduce) {
      u = reduceToward(u, ruv[2 * c], level);
      v = reduceToward(v, ruv[2 * c + 1], level);
    }
    ouv[2 * c] = uint8_t(u);
    ouv[2 * c + 1] = uint8_t(v);
    int cu = u - 128, cv = v - 128;
    int16_t b = int16_t((454 * cu + 128) >> 8);            // blue from Cb
    int16_t g = int16_t((88 * cu + 183 * cv + 128) >> 8);  // green from both
    int16_t r = int16_t((359 * cv + 128) >> 8);            // red from Cr
    tb[2 * c] = tb[2 * c + 1] = b;
    tg[2 * c] = tg[2 * c + 1] = g;
    tr[2 * c] = tr[2 * c + 1] = r;
  }
}

// A row of bytes through the 256-entry table, eight at a time: one load and one store of eight.
inline void lookupRowScalar(const uint8_t* __restrict in, uint8_t* __restrict out, int pixels,
                            const uint8_t* __restrict map) {
  int x8 = pixels & ~7;
  for (int x = 0; x < x8; x += 8) {
    uint64_t v, r = 0;
    std::memcpy(&v, in + x, 8);
    for (int k = 0; k < 8; ++k) r |= uint64_t(map[(v >> (8 * k)) & 0xFF]) << (8 * k);
    std::memcpy(out + x, &r, 8);
  }
  for (int x = x8; x < pixels; ++x) out[x] = map[in[x]];
}

#if CORVANE_LUMA_AVX2
// The same with byte shuffles, 32 bytes at a time: the table as sixteen 16-entry pieces, each
// looked up by the low nibble, then the high nibble's bits pick among them by halves.
CORVANE_AVX2 void lookupRowAvx2(const uint8_t* __restrict in, uint8_t* __restrict out, int pixels,
                                const uint8_t* __restrict map) {
  const __m256i lowNibble = _mm256_set1_epi8(0x0F);
  __m256i pieces[16];
  for (int k = 0; k < 16; ++k)
    pieces[k] = _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(map + 16 * k)));
  int x32 = pixels & ~31;
  for (int x = 0; x < x32; x += 32) {
    __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + x));
    __m256i lo = _mm256_and_si256(v, lowNibble);
    // Bit 4 + b of each byte moved to its top bit, where the blend looks.
    __m256i bit4 = _mm256_slli_epi16(v, 3), bit5 = _mm256_slli_epi16(v, 2),
            bit6 = _mm256_slli_epi16(v, 1);
    __m256i quarter[4];
    for (int q = 0; q < 4; ++q) {
      __m256i pair[2];
      for (int h = 0; h < 2; ++h) {
        int k = 4 * q + 2 * h;
        pair[h] = _mm256_blendv_epi8(_mm256_shuffle_epi8(pieces[k], lo),
                                     _mm256_shuffle_epi8(pieces[k + 1], lo), bit4);
      }
      quarter[q] = _mm256_blendv_epi8(pair[0], pair[1], bit5);
    }
    __m256i half0 = _mm256_blendv_epi8(quarter[0], quarter[1], bit6);
    __m256i half1 = _mm256_blendv_epi8(quarter[2], quarter[3], bit6);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_blendv_epi8(half0, half1, v));
  }
  lookupRowScalar(in + x32, out + x32, pixels - x32, map);
}
#endif

using LookupRow = void (*)(const uint8_t*, uint8_t*, int, const uint8_t*);
LookupRow pickLookupRow() {
#if CORVANE_LUMA_AVX2
  if (CpuFeatures::avx2()) return lookupRowAvx2;
#endif
  return lookupRowScalar;
}
const LookupRow lookupRow = pickLookupRow();

// One luma row: mirror, noise reduction, the NV12 output, brightness and gamma by table, and
// the BGRA picture.
template <bool Mirror, bool Reduce>
CORVANE_ROW_INLINE void lumaRow(const uint8_t* __restrict sy, const uint8_t* __restrict ry,
                                uint8_t* __restrict oy, uint32_t* __restrict rgb,
                                uint8_t* __restrict lum, int pixels, int width, int level,
                                const uint8_t* __restrict lumaMap, ChromaTerms t) {
  const int16_t* __restrict tb = t.blue;
  const int16_t* __restrict tg = t.green;
  const int16_t* __restrict tr = t.red;
  for (int x = 0; x < pixels; ++x) {
    int s = Mirror ? sy[width - 1 - x] : sy[x];
    if (Reduce) s = reduceToward(s, ry[x], level);
    oy[x] = uint8_t(s);
  }
  lookupRow(oy, lum, pixels, lumaMap);
  for (int x = 0; x < pixels; ++x) {
    int l = lum[x];
    rgb[x] = uint32_t(clampByte(l + tb[x])) | uint32_t(clampByte(l - tg[x])) << 8 |
             uint32_t(clampByte(l + tr[x])) << 16 | 0xFF000000u;
  }
}

template <bool Mirror, bool Reduce>
CORVANE_ROW_INLINE void rowPair(const uint8_t* suv, const uint8_t* ruv, uint8_t* ouv, int pairs,
                                int cw, int level, ChromaTerms terms, const uint8_t* const* sy,
                                const uint8_t* const* ry, uint8_t* const* oy, uint32_t* const* rgb,
                                int rows, uint8_t* lum, int width, const uint8_t* lumaMap) {
  chromaRow<Mirror, Reduce>(suv, ruv, ouv, pairs, cw, level, terms);
  for (int k = 0; k < rows; ++k)
    lumaRow<Mirror, Reduce>(sy[k], ry[k], oy[k], rgb[k], lum, 2 * pairs, width, level, lumaMap,
                            terms);
}

CORVANE_ROW_CLONES void rowPairAny(bool mirror, bool reduce, const uint8_t* suv, const uint8_t* ruv,
                                   uint8_t* ouv, int pairs, int cw, int level, ChromaTerms terms,
                                   const uint8_t* const* sy, const uint8_t* const* ry,
                                   uint8_t* const* oy, uint32_t* const* rgb, int rows, uint8_t* lum,
                                   int width, const uint8_t* lumaMap) {
#define CORVANE_ROW_PAIR(M, R) \
  rowPair<M, R>(suv, ruv, ouv, pairs, cw, level, terms, sy, ry, oy, rgb, rows, lum, width, lumaMap)
  if (mirror)
    reduce ? CORVANE_ROW_PAIR(true, true) : CORVANE_ROW_PAIR(true, false);
  else
    reduce ? CORVANE_ROW_PAIR(false, true) : CORVANE_ROW_PAIR(false, false);
#undef CORVANE_ROW_PAIR
}

#if CORVANE_LUMA_AVX2
// Noise reduction of sixteen samples in 16-bit lanes: |t| stays under 6 x 31 x 32.
CORVANE_AVX2 CORVANE_ROW_INLINE __m256i reduceToward16(__m256i sample, __m256i reference,
                                                       __m256i level) {
  __m256i d = _mm256_sub_epi16(reference, sample);
  __m256i m =
      _mm256_max_epi16(_mm256_sub_epi16(_mm256_set1_epi16(kMotionThreshold), _mm256_abs_epi16(d)),
                       _mm256_setzero_si256());
  __m256i t = _mm256_mullo_epi16(_mm256_mullo_epi16(d, level), m);
  t = _mm256_add_epi16(t, _mm256_and_si256(_mm256_srai_epi16(t, 15), _mm256_set1_epi16(255)));
  return _mm256_add_epi16(sample, _mm256_srai_epi16(t, 8));
}

// Eight pixel pairs' term of one colour, (Cb, Cr) . weights rounded, written once per pixel.
CORVANE_AVX2 inline void storeTerm(__m256i cbcr, __m256i weights, int16_t* at) {
  __m256i v = _mm256_srai_epi32(
      _mm256_add_epi32(_mm256_madd_epi16(cbcr, weights), _mm256_set1_epi32(128)), 8);
  v = _mm256_or_si256(_mm256_and_si256(v, _mm256_set1_epi32(0xFFFF)), _mm256_slli_epi32(v, 16));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), v);
}

// One chroma row as chromaRow, sixteen pairs at a time in 16-bit lanes (Cb, Cr alternating); the
// terms by multiply-adds of (Cb, Cr) with each colour's two weights, duplicated to both pixels.
template <bool Mirror, bool Reduce>
CORVANE_AVX2 CORVANE_ROW_INLINE void chromaRowAvx2(const uint8_t* __restrict suv,
                                                   const uint8_t* __restrict ruv,
                                                   uint8_t* __restrict ouv, int pairs,
                                                   int chromaWidth, int level, ChromaTerms t) {
  const __m256i zero = _mm256_setzero_si256(), centre = _mm256_set1_epi16(128);
  const __m256i blue = _mm256_set1_epi32(454), green = _mm256_set1_epi32(183 << 16 | 88),
                red = _mm256_set1_epi32(359 << 16);
  const __m256i reversePairs =
      _mm256_setr_epi8(14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1, 14, 15, 12, 13, 10, 11,
                       8, 9, 6, 7, 4, 5, 2, 3, 0, 1);
  const __m256i lv = _mm256_set1_epi16(int16_t(level));
  int c = 0;
  for (; c + 16 <= pairs; c += 16) {
    __m256i x;
    if (Mirror)
      x = _mm256_permute4x64_epi64(
          _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(
                                  suv + 2 * (chromaWidth - 16 - c))),
                              reversePairs),
          0x4E);
    else
      x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(suv + 2 * c));
    x = _mm256_permute4x64_epi64(x, 0xD8);
    __m256i lo = _mm256_unpacklo_epi8(x, zero), hi = _mm256_unpackhi_epi8(x, zero);
    if (Reduce) {
      __m256i r = _mm256_permute4x64_epi64(
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ruv + 2 * c)), 0xD8);
      lo = reduceToward16(lo, _mm256_unpacklo_epi8(r, zero), lv);
      hi = reduceToward16(hi, _mm256_unpackhi_epi8(r, zero), lv);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(ouv + 2 * c),
                        _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8));
    int k = 0;
    for (__m256i half : {lo, hi}) {
      __m256i cbcr = _mm256_sub_epi16(half, centre);
      storeTerm(cbcr, blue, t.blue + 2 * c + k);
      storeTerm(cbcr, green, t.green + 2 * c + k);
      storeTerm(cbcr, red, t.red + 2 * c + k);
      k += 16;
    }
  }
  if (c == pairs) return;
  // The last pairs through the plain row: a mirrored row reads them from the start of the source,
  // which the shorter width places.
  chromaRow<Mirror, Reduce>(Mirror ? suv : suv + 2 * c, Reduce ? ruv + 2 * c : ruv, ouv + 2 * c,
                            pairs - c, Mirror ? chromaWidth - c : chromaWidth, level,
                            {t.blue + 2 * c, t.green + 2 * c, t.red + 2 * c});
}

// The luma row's NV12 output: mirror and noise reduction, sixteen samples at a time.
template <bool Mirror, bool Reduce>
CORVANE_AVX2 CORVANE_ROW_INLINE void lumaSourceAvx2(const uint8_t* __restrict sy,
                                                    const uint8_t* __restrict ry,
                                                    uint8_t* __restrict oy, int pixels, int width,
                                                    int level) {
  const __m128i reverse = _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  const __m256i lv = _mm256_set1_epi16(int16_t(level));
  int x = 0;
  for (; x + 16 <= pixels; x += 16) {
    __m128i s = Mirror ? _mm_shuffle_epi8(
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(sy + width - 16 - x)),
                             reverse)
                       : _mm_loadu_si128(reinterpret_cast<const __m128i*>(sy + x));
    if (Reduce) {
      __m256i o = reduceToward16(
          _mm256_cvtepu8_epi16(s),
          _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(ry + x))), lv);
      s = _mm_packus_epi16(_mm256_castsi256_si128(o), _mm256_extracti128_si256(o, 1));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(oy + x), s);
  }
  for (; x < pixels; ++x) {
    int s = Mirror ? sy[width - 1 - x] : sy[x];
    if (Reduce) s = reduceToward(s, ry[x], level);
    oy[x] = uint8_t(s);
  }
}

template <bool Stream>
CORVANE_AVX2 CORVANE_ROW_INLINE void composeRows(
    const uint8_t* __restrict lum, const int16_t* __restrict tb, const int16_t* __restrict tg,
    const int16_t* __restrict tr, uint32_t* __restrict rgb, int pixels, __m256i alpha) {
  int x = 0;
  for (; x + 16 <= pixels; x += 16) {
    __m256i l = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lum + x)));
    __m256i b = _mm256_add_epi16(l, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(tb + x)));
    __m256i g = _mm256_sub_epi16(l, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(tg + x)));
    __m256i r = _mm256_add_epi16(l, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(tr + x)));
    __m256i bg = _mm256_packus_epi16(b, g);      // per half: 8 blue, 8 green
    __m256i ra = _mm256_packus_epi16(r, alpha);  // per half: 8 red, 8 alpha
    __m256i br = _mm256_unpacklo_epi8(bg, ra), ga = _mm256_unpackhi_epi8(bg, ra);
    __m256i lo = _mm256_unpacklo_epi8(br, ga);  // pixels 0-3 | 8-11
    __m256i hi = _mm256_unpackhi_epi8(br, ga);  // pixels 4-7 | 12-15
    __m256i first = _mm256_permute2x128_si256(lo, hi, 0x20);
    __m256i second = _mm256_permute2x128_si256(lo, hi, 0x31);
    if constexpr (Stream) {
      _mm256_stream_si256(reinterpret_cast<__m256i*>(rgb + x), first);
      _mm256_stream_si256(reinterpret_cast<__m256i*>(rgb + x + 8), second);
    } else {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(rgb + x), first);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(rgb + x + 8), second);
    }
  }
  for (; x < pixels; ++x) {
    int l = lum[x];
    rgb[x] = uint32_t(clampByte(l + tb[x])) | uint32_t(clampByte(l - tg[x])) << 8 |
             uint32_t(clampByte(l + tr[x])) << 16 | 0xFF000000u;
  }
}

// The BGRA row from luma and the chroma terms, sixteen pixels at a time: the sums in 16-bit
// lanes, clamped by the saturating pack, then interleaved to B, G, R, A.
CORVANE_AVX2 CORVANE_ROW_INLINE void composeRowAvx2(const uint8_t* __restrict lum, ChromaTerms t,
                                                    uint32_t* __restrict rgb, int pixels) {
  const int16_t* __restrict tb = t.blue;
  const int16_t* __restrict tg = t.green;
  const int16_t* __restrict tr = t.red;
  const __m256i alpha = _mm256_set1_epi16(255);
  // The picture is read by the next passes, never by this one: on aligned rows it is written
  // past the caches, sparing the read of each line before it is written.
  if (reinterpret_cast<uintptr_t>(rgb) % 32 == 0)
    composeRows<true>(lum, tb, tg, tr, rgb, pixels, alpha);
  else
    composeRows<false>(lum, tb, tg, tr, rgb, pixels, alpha);
}

template <bool Mirror, bool Reduce>
CORVANE_AVX2 CORVANE_ROW_INLINE void rowPairAvx2(const uint8_t* suv, const uint8_t* ruv,
                                                 uint8_t* ouv, int pairs, int cw, int level,
                                                 ChromaTerms terms, const uint8_t* const* sy,
                                                 const uint8_t* const* ry, uint8_t* const* oy,
                                                 uint32_t* const* rgb, int rows, uint8_t* lum,
                                                 int width, const uint8_t* lumaMap) {
  chromaRowAvx2<Mirror, Reduce>(suv, ruv, ouv, pairs, cw, level, terms);
  for (int k = 0; k < rows; ++k) {
    lumaSourceAvx2<Mirror, Reduce>(sy[k], Reduce ? ry[k] : nullptr, oy[k], 2 * pairs, width, level);
    // No table: brightness and gamma leave luma as it is.
    if (lumaMap) lookupRowAvx2(oy[k], lum, 2 * pairs, lumaMap);
    composeRowAvx2(lumaMap ? lum : oy[k], terms, rgb[k], 2 * pairs);
  }
}

CORVANE_AVX2 void rowPairAvx2Any(bool mirror, bool reduce, const uint8_t* suv, const uint8_t* ruv,
                                 uint8_t* ouv, int pairs, int cw, int level, ChromaTerms terms,
                                 const uint8_t* const* sy, const uint8_t* const* ry,
                                 uint8_t* const* oy, uint32_t* const* rgb, int rows, uint8_t* lum,
                                 int width, const uint8_t* lumaMap) {
#define CORVANE_ROW_PAIR(M, R)                                                                 \
  rowPairAvx2<M, R>(suv, ruv, ouv, pairs, cw, level, terms, sy, ry, oy, rgb, rows, lum, width, \
                    lumaMap)
  if (mirror)
    reduce ? CORVANE_ROW_PAIR(true, true) : CORVANE_ROW_PAIR(true, false);
  else
    reduce ? CORVANE_ROW_PAIR(false, true) : CORVANE_ROW_PAIR(false, false);
#undef CORVANE_ROW_PAIR
  _mm_sfence();  // the streamed picture is complete before the pass is
}
#endif

// Picks the row pair loops for the processor once, at load time. The AVX2 ones take no table
// when it is the identity.
struct RowPairLoops {
  using Function = void (*)(bool, bool, const uint8_t*, const uint8_t*, uint8_t*, int, int, int,
                            ChromaTerms, const uint8_t* const*, const uint8_t* const*,
                            uint8_t* const*, uint32_t* const*, int, uint8_t*, int, const uint8_t*);
  Function run = rowPairAny;
  bool skipsIdentity = false;
};
RowPairLoops pickRowPairLoops() {
#if CORVANE_LUMA_AVX2
  if (CpuFeatures::avx2()) return {rowPairAvx2Any, true};
#endif
  return {};
}
const RowPairLoops rowPairLoops = pickRowPairLoops();

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC pop_options
#endif

void writeSelvoRows(const compute::ArgumentTable& args, int y, int w, int h, bool mirror) {
  Texture* srcY = args.texture(kEffectSourceY);
  Texture* srcUV = args.texture(kEffectSourceUV);
  Texture* selvoY = args.texture(kEffectSelvoY);
  Texture* selvoUV = args.texture(kEffectSelvoUV);
  if (selvoY) {
    int hs = selvoY->height(), ws = selvoY->width();
    // Destination rows whose source position starts on this row: a partition across rows.
    int begin = int((int64_t(y) * hs + h - 1) / h), end = int((int64_t(y + 1) * hs + h - 1) / h);
    for (int j = begin; j < end && j < hs; ++j)
      resampleRow<1>(*srcY, h, w, *selvoY, j, ws, hs, mirror);
  }
  if (selvoUV && srcUV && y % 2 == 0) {
    int hc = std::min(h / 2, srcUV->height()), wc = std::min(w / 2, srcUV->width());
    int hs = selvoUV->height(), ws = selvoUV->width();
    int cy = y / 2;
    if (hc <= 0 || wc <= 0) return;
    int begin = int((int64_t(cy) * hs + hc - 1) / hc),
        end = int((int64_t(cy + 1) * hs + hc - 1) / hc);
    for (int j = begin; j < end && j < hs; ++j)
      resampleRow<2>(*srcUV, hc, wc, *selvoUV, j, ws, hs, mirror);
  }
}

}  // namespace

void effectsKernel(const compute::ArgumentTable& args, const compute::GridRow& grid) {
  thread_local LumaTable luma;
  thread_local std::vector<uint8_t> scratch;
  thread_local std::vector<int16_t> termStorage;

  const auto* params = args.buffer<EffectParameters>(0);
  Texture* srcY = args.texture(kEffectSourceY);
  Texture* srcUV = args.texture(kEffectSourceUV);
  if (!params || !srcY || !srcUV) return;
  int w = std::min(srcY->width(), int(params->width));
  int h = std::min(srcY->height(), int(params->height));
  int y = int(grid.row);
  if (y >= h || w <= 0) return;
  bool mirror = params->mirror != 0;
  writeSelvoRows(args, y, w, h, mirror);
  // Each even row does its pair of rows, so their shared chroma row is worked once.
  if (y % 2) return;
  int cw = std::min(w / 2, srcUV->width());
  int cy = y / 2;
  if (cw <= 0 || cy >= srcUV->height()) return;
  int rows = y + 1 < h ? 2 : 1;

  Texture* refY = args.texture(kEffectReferenceY);
  Texture* refUV = args.texture(kEffectReferenceUV);
  int level = int(std::lround(std::clamp(params->denoise, 0.0f, 6.0f)));
  bool reduce = level > 0 && covers(refY, w, h) && covers(refUV, cw, cy + 1);

  // Every output is written over the same span, bounded by the narrowest of them; a missing
  // output is written into scratch, so the row loops test nothing per pixel.
  scratch.resize(size_t(w) * 6 + 64);
  uint8_t* lum = scratch.data() + size_t(w) * 4 + 32;
  int pairs = cw;
  auto rowOf = [&](Texture* t, int row, int pixelsPerPair) -> uint8_t* {
    if (!t || row >= t->height()) return scratch.data();
    pairs = std::min(pairs, t->width() / pixelsPerPair);
    return t->row(row);
  };
  const uint8_t* sy[2];
  const uint8_t* ry[2];
  uint8_t* oy[2];
  uint32_t* rgb[2];
  for (int k = 0; k < rows; ++k) {
    sy[k] = srcY->row(y + k);
    ry[k] = reduce ? refY->row(y + k) : nullptr;
    oy[k] = rowOf(args.texture(kEffectOutputY), y + k, 2);
    rgb[k] = reinterpret_cast<uint32_t*>(rowOf(args.texture(kEffectTextureOut), y + k, 2));
  }
  uint8_t* ouv = rowOf(args.texture(kEffectOutputUV), cy, 1);
  termStorage.resize(size_t(cw) * 6 + 16);
  ChromaTerms terms{termStorage.data(), termStorage.data() + size_t(cw) * 2 + 4,
                    termStorage.data() + size_t(cw) * 4 + 8};
  luma.update(params->brightness, params->gamma);
  const uint8_t* suv = srcUV->row(cy);
  const uint8_t* ruv = reduce ? refUV->row(cy) : nullptr;
  const uint8_t* map = luma.identity && rowPairLoops.skipsIdentity ? nullptr : luma.map.data();
  rowPairLoops.run(mirror, reduce, suv, ruv, ouv, pairs, cw, level, terms, sy, ry, oy, rgb, rows,
                   lum, w, map);
}

}  // namespace corvane
