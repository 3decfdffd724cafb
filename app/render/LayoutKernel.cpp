#include "render/LayoutKernel.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "render/LayoutRecords.h"
#include "render/LayoutRemapCache.h"
#include "render/compute/Sampler.h"

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
  std::fill(out, out + width, kOpaqueBlack);

  const auto* cache = static_cast<const LayoutRemapCache*>(args.bufferData(kLayoutRemapTables));
  if (!cache) return;
  const auto* dst = static_cast<const RoiProperty*>(args.bufferData(kLayoutDestinationList));
  Texture* source = args.texture(kLayoutSourceTexture);
  Texture* thumbnail = args.texture(kLayoutThumbnailTexture);
  uint32_t highlight = kOpaqueBlack | uint32_t(colourByte(uniforms->highlight_color[0])) << 16 |
                       uint32_t(colourByte(uniforms->highlight_color[1])) << 8 |
                       colourByte(uniforms->highlight_color[2]);

  for (size_t i = 0; i < kLayoutRecordCount; ++i) {
    const auto& t = cache->tile(i);
    if (!t.active || y < t.y0 || y >= t.y1 || t.x1 > width) continue;
    const Texture* tex = t.thumbnail ? thumbnail : source;
    // A map made for another texture size must not index this one.
    if (!tex || tex->width() != t.textureWidth || tex->height() != t.textureHeight ||
        bytesPerTexel(tex->format()) != 4)
      continue;
    if (t.perspective)
      drawPerspectiveRow(t, *tex, y, out);
    else
      drawCropRow(t, *tex, y, out);
    drawEdges(dst[i], t, y, uniforms->edge_width, highlight, out);
  }
}

}  // namespace corvane
