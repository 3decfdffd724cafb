#include "camera/VideoRange.h"

#include "util/CpuFeatures.h"

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define CORVANE_RANGE_AVX2 1
#define CORVANE_AVX2 __attribute__((target("avx2")))
#endif

namespace corvane {

namespace {

constexpr int kLumaScale = 19077, kChromaScale = 18651;

#if CORVANE_RANGE_AVX2
const bool kAvx2 = CpuFeatures::avx2();

// (x * scale + 8192) >> 14 for x = value - offset, exactly: mulhrs gives (a * b + 2^14) >> 15,
// so a = 2x; 2 * 239 * 19077 stays inside its 32-bit product. Sixteen values in 16-bit lanes.
CORVANE_AVX2 inline __m256i scaled16(__m128i bytes, __m256i offset, __m256i scale) {
  __m256i x = _mm256_sub_epi16(_mm256_cvtepu8_epi16(bytes), offset);
  return _mm256_mulhrs_epi16(_mm256_slli_epi16(x, 1), scale);
}

// Sixteen 16-bit lanes to sixteen bytes, saturated to 0..255.
CORVANE_AVX2 inline __m128i narrow(__m256i v) {
  __m256i packed = _mm256_packus_epi16(v, v);  // lanes 0-7 | 8-15 in each half's low bytes
  return _mm256_castsi256_si128(_mm256_permute4x64_epi64(packed, 0x08));
}

CORVANE_AVX2 int expandLumaAvx2(const uint8_t* src, uint8_t* dst, int n) {
  const __m256i offset = _mm256_set1_epi16(16), scale = _mm256_set1_epi16(kLumaScale);
  int x = 0;
  for (; x + 16 <= n; x += 16) {
    __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), narrow(scaled16(in, offset, scale)));
  }
  return x;
}

CORVANE_AVX2 int expandChromaAvx2(const uint8_t* src, uint8_t* dst, int n) {
  const __m256i offset = _mm256_set1_epi16(128), scale = _mm256_set1_epi16(kChromaScale);
  int x = 0;
  for (; x + 16 <= n; x += 16) {
    __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x));
    __m256i v = _mm256_add_epi16(scaled16(in, offset, scale), offset);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), narrow(v));
  }
  return x;
}

CORVANE_AVX2 int interleaveExpandedAvx2(const uint8_t* u, const uint8_t* v, uint8_t* dst, int n) {
  const __m256i offset = _mm256_set1_epi16(128), scale = _mm256_set1_epi16(kChromaScale);
  int x = 0;
  for (; x + 16 <= n; x += 16) {
    __m256i cu = _mm256_add_epi16(
        scaled16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(u + x)), offset, scale), offset);
    __m256i cv = _mm256_add_epi16(
        scaled16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + x)), offset, scale), offset);
    // u0 v0 u1 v1 ...: bytes of the two narrowed rows interleaved.
    __m128i bu = narrow(cu), bv = narrow(cv);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * x), _mm_unpacklo_epi8(bu, bv));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * x + 16), _mm_unpackhi_epi8(bu, bv));
  }
  return x;
}
#endif

inline uint8_t clampByte(int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

}  // namespace

uint8_t VideoRange::luma(uint8_t value) {
  return clampByte(((int(value) - 16) * kLumaScale + 8192) >> 14);
}

uint8_t VideoRange::chroma(uint8_t value) {
  return clampByte((((int(value) - 128) * kChromaScale + 8192) >> 14) + 128);
}

void VideoRange::expandLuma(const uint8_t* src, uint8_t* dst, int n) {
  int x = 0;
#if CORVANE_RANGE_AVX2
  if (kAvx2) x = expandLumaAvx2(src, dst, n);
#endif
  for (; x < n; ++x) dst[x] = luma(src[x]);
}

void VideoRange::expandChroma(const uint8_t* src, uint8_t* dst, int n) {
  int x = 0;
#if CORVANE_RANGE_AVX2
  if (kAvx2) x = expandChromaAvx2(src, dst, n);
#endif
  for (; x < n; ++x) dst[x] = chroma(src[x]);
}

void VideoRange::interleaveExpanded(const uint8_t* u, const uint8_t* v, uint8_t* dst, int n) {
  int x = 0;
#if CORVANE_RANGE_AVX2
  if (kAvx2) x = interleaveExpandedAvx2(u, v, dst, n);
#endif
  for (; x < n; ++x) {
    dst[2 * x] = chroma(u[x]);
    dst[2 * x + 1] = chroma(v[x]);
  }
}

}  // namespace corvane
