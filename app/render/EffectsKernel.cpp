#include "render/EffectsKernel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "render/EffectParameters.h"

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
template <int Channels>
void resampleRow(const Texture& src, int srcRows, int srcWidth, Texture& dst, int dstRow,
                 int dstWidth, int dstHeight, bool mirror) {
  thread_local ColumnTable columns[2];
  ColumnTable& table = columns[Channels - 1];
  table.update(srcWidth, dstWidth, mirror);
  int64_t syf = ((int64_t(2 * dstRow + 1) * srcRows) << 16) / (2 * dstHeight) - 32768;
  int y0 = int(std::clamp<int64_t>(syf >> 16, 0, srcRows - 1));
  int y1 = std::min(srcRows - 1, y0 + 1);
  uint32_t wy = syf < 0 ? 0 : uint32_t((syf >> 8) & 255);
  const uint8_t* r0 = src.row(y0);
  const uint8_t* r1 = src.row(y1);
  uint8_t* out = dst.row(dstRow);
  int width = std::min(dstWidth, dst.width());
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

struct RowArguments {
  const uint8_t* sy;
  const uint8_t* suv;
  const uint8_t* ry;
  const uint8_t* ruv;
  uint8_t* oy;
  uint8_t* ouv;  // null on odd rows: chroma is written once per pair of rows
  uint32_t* rgb;
  int pairs, width, chromaWidth;
  int level;
  const uint8_t* luma;
};

// Noise reduction of one sample toward its reference: d = reference - sample moves it by
// d x level/8 x (1 - |d|/32), truncated, in integer arithmetic so the loops vectorise.
inline int reduceToward(int sample, int reference, int level) {
  int d = reference - sample;
  int m = kMotionThreshold - (d < 0 ? -d : d);
  int t = d * level * (m > 0 ? m : 0);
  return sample + ((t + (t < 0 ? 255 : 0)) >> 8);
}

template <bool Mirror, bool Reduce>
void convertRow(const RowArguments& r) {
  // Locals marked unaliased: byte stores would otherwise force every pointer to be reloaded.
  const uint8_t* __restrict sy = r.sy;
  const uint8_t* __restrict suv = r.suv;
  const uint8_t* __restrict ry = r.ry;
  const uint8_t* __restrict ruv = r.ruv;
  uint8_t* __restrict oy = r.oy;
  uint8_t* __restrict ouv = r.ouv;
  uint32_t* __restrict rgb = r.rgb;
  const uint8_t* __restrict lumaMap = r.luma;
  const int pairs = r.pairs, width = r.width, chromaWidth = r.chromaWidth, level = r.level;
  thread_local std::vector<int16_t> chromaTerms;
  thread_local std::vector<uint8_t> lumaRow;
  size_t n = size_t(pairs) * 2 + 8;
  chromaTerms.resize(3 * n);
  lumaRow.resize(n);
  // Per pixel, planar: the blue, green and red chroma terms, so the colour loop vectorises.
  int16_t* __restrict tb = chromaTerms.data();
  int16_t* __restrict tg = tb + n;
  int16_t* __restrict tr = tg + n;
  uint8_t* __restrict lum = lumaRow.data();
  // Luma: mirror and noise reduction.
  for (int x = 0; x < 2 * pairs; ++x) {
    int s = Mirror ? sy[width - 1 - x] : sy[x];
    if (Reduce) s = reduceToward(s, ry[x], level);
    oy[x] = uint8_t(s);
  }
  // Chroma: the same, then its full-range BT.601 terms (8.8 fixed point).
  for (int c = 0; c < pairs; ++c) {
    int sc = Mirror ? chromaWidth - 1 - c : c;
    int u = suv[2 * sc], v = suv[2 * sc + 1];
    if (Reduce) {
      u = reduceToward(u, ruv[2 * c], level);
      v = reduceToward(v, ruv[2 * c + 1], level);
    }
    if (ouv) {
      ouv[2 * c] = uint8_t(u);
      ouv[2 * c + 1] = uint8_t(v);
    }
    int cu = u - 128, cv = v - 128;
    int16_t b = int16_t((454 * cu + 128) >> 8);            // blue from Cb
    int16_t g = int16_t((88 * cu + 183 * cv + 128) >> 8);  // green from both
    int16_t r = int16_t((359 * cv + 128) >> 8);            // red from Cr
    tb[2 * c] = tb[2 * c + 1] = b;
    tg[2 * c] = tg[2 * c + 1] = g;
    tr[2 * c] = tr[2 * c + 1] = r;
  }
  // Brightness and gamma by table, then the colour.
  for (int x = 0; x < 2 * pairs; ++x) lum[x] = lumaMap[oy[x]];
  for (int x = 0; x < 2 * pairs; ++x) {
    int l = lum[x];
    rgb[x] = uint32_t(clampByte(l + tb[x])) | uint32_t(clampByte(l - tg[x])) << 8 |
             uint32_t(clampByte(l + tr[x])) << 16 | 0xFF000000u;
  }
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

  const auto* params = args.buffer<EffectParameters>(0);
  Texture* srcY = args.texture(kEffectSourceY);
  Texture* srcUV = args.texture(kEffectSourceUV);
  if (!params || !srcY || !srcUV) return;
  int w = std::min(srcY->width(), int(params->width));
  int h = std::min(srcY->height(), int(params->height));
  int y = int(grid.row);
  if (y >= h || w <= 0) return;
  int cw = std::min(w / 2, srcUV->width());
  int cy = std::min(y / 2, srcUV->height() - 1);
  if (cw <= 0 || cy < 0) return;
  bool mirror = params->mirror != 0;

  Texture* refY = args.texture(kEffectReferenceY);
  Texture* refUV = args.texture(kEffectReferenceUV);
  int level = int(std::lround(std::clamp(params->denoise, 0.0f, 6.0f)));
  bool reduce = level > 0 && covers(refY, w, h) && covers(refUV, cw, cy + 1);

  Texture* outY = args.texture(kEffectOutputY);
  Texture* outUV = args.texture(kEffectOutputUV);
  Texture* rgb = args.texture(kEffectTextureOut);
  uint8_t* outYRow = outY && y < outY->height() ? outY->row(y) : nullptr;
  int outYWidth = outYRow ? std::min(w, outY->width()) : 0;
  uint8_t* outUVRow = outUV && y % 2 == 0 && cy < outUV->height() ? outUV->row(cy) : nullptr;
  int outUVWidth = outUVRow ? std::min(cw, outUV->width()) : 0;
  uint32_t* rgbRow = rgb && y < rgb->height() ? reinterpret_cast<uint32_t*>(rgb->row(y)) : nullptr;
  int rgbWidth = rgbRow ? std::min(w, rgb->width()) : 0;

  luma.update(params->brightness, params->gamma);
  // Every output is written over the same span, bounded by the narrowest of them; a missing
  // output writes into scratch so the loop has no per-pixel tests.
  int pairs = std::min(cw, (w + 1) / 2);
  thread_local std::vector<uint8_t> scratch;
  scratch.resize(size_t(w) * 4 + 64);
  if (outYRow)
    pairs = std::min(pairs, outYWidth / 2);
  else
    outYRow = scratch.data();
  if (rgbRow)
    pairs = std::min(pairs, rgbWidth / 2);
  else
    rgbRow = reinterpret_cast<uint32_t*>(scratch.data());
  if (outUVRow) pairs = std::min(pairs, outUVWidth);
  RowArguments row{srcY->row(y),
                   srcUV->row(cy),
                   reduce ? refY->row(y) : nullptr,
                   reduce ? refUV->row(cy) : nullptr,
                   outYRow,
                   outUVRow,
                   rgbRow,
                   pairs,
                   w,
                   cw,
                   level,
                   luma.map.data()};
  if (mirror)
    reduce ? convertRow<true, true>(row) : convertRow<true, false>(row);
  else
    reduce ? convertRow<false, true>(row) : convertRow<false, false>(row);
  writeSelvoRows(args, y, w, h, mirror);
}

}  // namespace corvane
