#include "render/EffectsKernel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "render/EffectParameters.h"

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

// Brightness and gamma on luma; rebuilt by each worker thread only when the values change.
struct LumaTable {
  float brightness = NAN;
  float gamma = NAN;
  std::array<uint8_t, 256> map{};
  void update(float b, float g) {
    if (b == brightness && g == gamma) return;
    brightness = b;
    gamma = g;
    float exponent = g > 0.01f ? 1.0f / g : 1.0f;
    for (int i = 0; i < 256; ++i) {
      float v = std::clamp(i / 255.0f + b * 0.25f, 0.0f, 1.0f);
      map[size_t(i)] = uint8_t(std::lround(std::pow(v, exponent) * 255.0f));
    }
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
CORVANE_ROW_INLINE void halveRow(const uint8_t* __restrict r0, const uint8_t* __restrict r1, uint8_t* __restrict out,
              int width, int srcWidth) {
  for (int i = 0; i < width; ++i) {
    int x = Mirror ? srcWidth - 2 - 2 * i : 2 * i;
    for (int c = 0; c < Channels; ++c)
      out[i * Channels + c] = uint8_t((r0[x * Channels + c] + r0[(x + 1) * Channels + c] +
                                       r1[x * Channels + c] + r1[(x + 1) * Channels + c] + 2) >>
                                      2);
  }
}

template <int Channels>
CORVANE_ROW_CLONES void halveRowAny(const uint8_t* r0, const uint8_t* r1, uint8_t* out, int width,
                                    int srcWidth, bool mirror) {
  mirror ? halveRow<Channels, true>(r0, r1, out, width, srcWidth)
         : halveRow<Channels, false>(r0, r1, out, width, srcWidth);
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
               uint8_t* __restrict ouv, int pairs, int chromaWidth, int level, ChromaTerms t) {
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
// The same with byte shuffles, 32 bytes at a time: the table as sixteen 16-entry pieces, the
// high nibble choosing the piece and the low nibble the entry.
__attribute__((target("avx2"))) void lookupRowAvx2(const uint8_t* __restrict in,
                                                   uint8_t* __restrict out, int pixels,
                                                   const uint8_t* __restrict map) {
  const __m256i lowNibble = _mm256_set1_epi8(0x0F);
  int x32 = pixels & ~31;
  for (int x = 0; x < x32; x += 32) {
    __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + x));
    __m256i lo = _mm256_and_si256(v, lowNibble);
    __m256i hi = _mm256_and_si256(_mm256_srli_epi16(v, 4), lowNibble);
    __m256i r = _mm256_setzero_si256();
    for (int k = 0; k < 16; ++k) {
      __m256i piece = _mm256_broadcastsi128_si256(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(map + 16 * k)));
      __m256i hit = _mm256_cmpeq_epi8(hi, _mm256_set1_epi8(char(k)));
      r = _mm256_or_si256(r, _mm256_and_si256(hit, _mm256_shuffle_epi8(piece, lo)));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), r);
  }
  lookupRowScalar(in + x32, out + x32, pixels - x32, map);
}
#endif

using LookupRow = void (*)(const uint8_t*, uint8_t*, int, const uint8_t*);
LookupRow pickLookupRow() {
#if CORVANE_LUMA_AVX2
  __builtin_cpu_init();  // may run before the runtime's own constructors
  if (__builtin_cpu_supports("avx2")) return lookupRowAvx2;
#endif
  return lookupRowScalar;
}
const LookupRow lookupRow = pickLookupRow();

// One luma row: mirror, noise reduction, the NV12 output, brightness and gamma by table, and
// the BGRA picture.
template <bool Mirror, bool Reduce>
CORVANE_ROW_INLINE void lumaRow(const uint8_t* __restrict sy, const uint8_t* __restrict ry, uint8_t* __restrict oy,
             uint32_t* __restrict rgb, uint8_t* __restrict lum, int pixels, int width, int level,
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
                                const uint8_t* const* ry, uint8_t* const* oy,
                                uint32_t* const* rgb, int rows, uint8_t* lum, int width,
                                const uint8_t* lumaMap) {
  chromaRow<Mirror, Reduce>(suv, ruv, ouv, pairs, cw, level, terms);
  for (int k = 0; k < rows; ++k)
    lumaRow<Mirror, Reduce>(sy[k], ry[k], oy[k], rgb[k], lum, 2 * pairs, width, level, lumaMap,
                            terms);
}

CORVANE_ROW_CLONES void rowPairAny(bool mirror, bool reduce, const uint8_t* suv,
                                   const uint8_t* ruv, uint8_t* ouv, int pairs, int cw, int level,
                                   ChromaTerms terms, const uint8_t* const* sy,
                                   const uint8_t* const* ry, uint8_t* const* oy,
                                   uint32_t* const* rgb, int rows, uint8_t* lum, int width,
                                   const uint8_t* lumaMap) {
#define CORVANE_ROW_PAIR(M, R) \
  rowPair<M, R>(suv, ruv, ouv, pairs, cw, level, terms, sy, ry, oy, rgb, rows, lum, width, lumaMap)
  if (mirror)
    reduce ? CORVANE_ROW_PAIR(true, true) : CORVANE_ROW_PAIR(true, false);
  else
    reduce ? CORVANE_ROW_PAIR(false, true) : CORVANE_ROW_PAIR(false, false);
#undef CORVANE_ROW_PAIR
}

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
  rowPairAny(mirror, reduce, suv, ruv, ouv, pairs, cw, level, terms, sy, ry, oy, rgb, rows, lum, w,
             luma.map.data());
}

}  // namespace corvane
