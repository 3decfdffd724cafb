#include "render/EffectsKernel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "render/EffectParameters.h"

namespace corvane {

namespace {

using compute::Texture;

// Full-range BT.601 chroma contributions, in whole levels.
struct ChromaTables {
  std::array<int16_t, 256> rV, gU, gV, bU;
  ChromaTables() {
    for (int i = 0; i < 256; ++i) {
      double c = i - 128;
      rV[i] = int16_t(std::lround(1.402 * c));
      gU[i] = int16_t(std::lround(0.344136 * c));
      gV[i] = int16_t(std::lround(0.714136 * c));
      bU[i] = int16_t(std::lround(1.772 * c));
    }
  }
};

// Motion-adaptive recursive noise reduction: the output moves from the current sample toward
// the reference by a share that grows with the level and fades out as the difference reaches
// kMotionThreshold (then it is motion, not noise). Truncation toward zero makes a still picture
// settle on itself exactly.
constexpr int kLevels = 7;
constexpr int kMotionThreshold = 32;
struct NoiseTables {
  std::array<std::array<int16_t, 511>, kLevels> delta;
  NoiseTables() {
    for (int level = 0; level < kLevels; ++level) {
      for (int d = -255; d <= 255; ++d) {
        double k = 0.125 * level * std::max(0.0, 1.0 - std::abs(d) / double(kMotionThreshold));
        delta[level][size_t(d + 255)] = int16_t(std::trunc(d * k));
      }
    }
  }
};

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

inline uint8_t clampByte(int v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

bool covers(const Texture* t, int w, int h) { return t && t->width() >= w && t->height() >= h; }

// One row of an NV12 plane resampled bilinearly (1 or 2 bytes per sample), mirrored on demand.
void resampleRow(const Texture& src, int srcRows, int srcWidth, Texture& dst, int dstRow,
                 int dstWidth, int dstHeight, int channels, bool mirror) {
  // Source row position of this destination row, 16.16 fixed point, centres aligned.
  int64_t syf = ((int64_t(2 * dstRow + 1) * srcRows) << 16) / (2 * dstHeight) - 32768;
  int y0 = int(std::clamp<int64_t>(syf >> 16, 0, srcRows - 1));
  int y1 = std::min(srcRows - 1, y0 + 1);
  uint32_t wy = syf < 0 ? 0 : uint32_t((syf >> 8) & 255);
  const uint8_t* r0 = src.row(y0);
  const uint8_t* r1 = src.row(y1);
  uint8_t* out = dst.row(dstRow);
  int width = std::min(dstWidth, dst.width());
  for (int i = 0; i < width; ++i) {
    int64_t sxf = ((int64_t(2 * i + 1) * srcWidth) << 16) / (2 * dstWidth) - 32768;
    int x0 = int(std::clamp<int64_t>(sxf >> 16, 0, srcWidth - 1));
    int x1 = std::min(srcWidth - 1, x0 + 1);
    uint32_t wx = sxf < 0 ? 0 : uint32_t((sxf >> 8) & 255);
    if (mirror) {
      x0 = srcWidth - 1 - x0;
      x1 = srcWidth - 1 - x1;
    }
    for (int c = 0; c < channels; ++c) {
      uint32_t a = r0[x0 * channels + c], b = r0[x1 * channels + c];
      uint32_t d = r1[x0 * channels + c], e = r1[x1 * channels + c];
      uint32_t top = a * (256 - wx) + b * wx, bottom = d * (256 - wx) + e * wx;
      out[i * channels + c] = uint8_t((top * (256 - wy) + bottom * wy + 32768) >> 16);
    }
  }
}

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
      resampleRow(*srcY, h, w, *selvoY, j, ws, hs, 1, mirror);
  }
  if (selvoUV && srcUV && y % 2 == 0) {
    int hc = std::min(h / 2, srcUV->height()), wc = std::min(w / 2, srcUV->width());
    int hs = selvoUV->height(), ws = selvoUV->width();
    int cy = y / 2;
    if (hc <= 0 || wc <= 0) return;
    int begin = int((int64_t(cy) * hs + hc - 1) / hc),
        end = int((int64_t(cy + 1) * hs + hc - 1) / hc);
    for (int j = begin; j < end && j < hs; ++j)
      resampleRow(*srcUV, hc, wc, *selvoUV, j, ws, hs, 2, mirror);
  }
}

}  // namespace

void effectsKernel(const compute::ArgumentTable& args, const compute::GridRow& grid) {
  static const ChromaTables chroma;
  static const NoiseTables noise;
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
  const auto& nr = noise.delta[size_t(level)];

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
  const uint8_t* sy = srcY->row(y);
  const uint8_t* suv = srcUV->row(cy);
  const uint8_t* ry = reduce ? refY->row(y) : nullptr;
  const uint8_t* ruv = reduce ? refUV->row(cy) : nullptr;

  for (int c = 0; c < cw; ++c) {
    int sc = mirror ? cw - 1 - c : c;
    int u = suv[2 * sc], v = suv[2 * sc + 1];
    if (reduce) {
      u += nr[size_t(ruv[2 * c] - u + 255)];
      v += nr[size_t(ruv[2 * c + 1] - v + 255)];
    }
    if (c < outUVWidth) {
      outUVRow[2 * c] = uint8_t(u);
      outUVRow[2 * c + 1] = uint8_t(v);
    }
    int rV = chroma.rV[size_t(v)], gUV = chroma.gU[size_t(u)] + chroma.gV[size_t(v)],
        bU = chroma.bU[size_t(u)];
    for (int k = 0; k < 2; ++k) {
      int x = 2 * c + k;
      if (x >= w) break;
      int s = sy[mirror ? w - 1 - x : x];
      if (reduce) s += nr[size_t(ry[x] - s + 255)];
      if (x < outYWidth) outYRow[x] = uint8_t(s);
      if (x < rgbWidth) {
        int l = luma.map[size_t(s)];
        rgbRow[x] = uint32_t(clampByte(l + bU)) | uint32_t(clampByte(l - gUV)) << 8 |
                    uint32_t(clampByte(l + rV)) << 16 | 0xFF000000u;
      }
    }
  }
  writeSelvoRows(args, y, w, h, mirror);
}

}  // namespace corvane
