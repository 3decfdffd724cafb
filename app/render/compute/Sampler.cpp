#include "render/compute/Sampler.h"

#include <cmath>
#include <cstring>

namespace corvane::compute {

int Sampler::address(int i, int n, Address mode) {
  if (mode == Address::Repeat) {
    int r = i % n;
    return r < 0 ? r + n : r;
  }
  return i < 0 ? 0 : (i >= n ? n - 1 : i);
}

uint32_t Sampler::sample4(const Texture& texture, float x, float y) const {
  auto texel = [&](int tx, int ty) {
    uint32_t v;
    std::memcpy(&v, texture.row(ty) + size_t(tx) * 4, 4);
    return v;
  };
  int w = texture.width(), h = texture.height();
  if (filter_ == Filter::Nearest) {
    int tx = address(int(std::floor(x)), w, addressX_);
    int ty = address(int(std::floor(y)), h, addressY_);
    return texel(tx, ty);
  }
  float fx = x - 0.5f, fy = y - 0.5f;
  float x0f = std::floor(fx), y0f = std::floor(fy);
  int x0 = int(x0f), y0 = int(y0f);
  uint32_t wx = uint32_t((fx - x0f) * 256.0f + 0.5f), wy = uint32_t((fy - y0f) * 256.0f + 0.5f);
  int ax0 = address(x0, w, addressX_), ax1 = address(x0 + 1, w, addressX_);
  int ay0 = address(y0, h, addressY_), ay1 = address(y0 + 1, h, addressY_);
  uint32_t top = lerpTexel(texel(ax0, ay0), texel(ax1, ay0), wx);
  uint32_t bottom = lerpTexel(texel(ax0, ay1), texel(ax1, ay1), wx);
  return lerpTexel(top, bottom, wy);
}

}  // namespace corvane::compute
