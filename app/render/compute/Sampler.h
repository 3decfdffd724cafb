#pragma once

#include <cstdint>
#include <string>

#include "render/compute/Texture.h"

namespace corvane::compute {

// How a kernel reads a texture between texel centres and past its edges.
class Sampler {
 public:
  enum class Filter { Nearest, Linear };
  enum class Address { ClampToEdge, Repeat };

  Sampler() = default;
  Sampler(std::string label, Filter filter, Address addressX, Address addressY)
      : label_(std::move(label)), filter_(filter), addressX_(addressX), addressY_(addressY) {}

  const std::string& label() const { return label_; }
  Filter filter() const { return filter_; }
  Address addressX() const { return addressX_; }
  Address addressY() const { return addressY_; }

  // The texel of a 4-byte texture at pixel coordinates (x, y), texel centres at +0.5,
  // as a packed 32-bit value in the texture's own byte order.
  uint32_t sample4(const Texture& texture, float x, float y) const;

  // Index of texel i along an axis of n texels under the address mode.
  static int address(int i, int n, Address mode);

 private:
  std::string label_;
  Filter filter_ = Filter::Linear;
  Address addressX_ = Address::ClampToEdge;
  Address addressY_ = Address::ClampToEdge;
};

// Linear blend of two packed 4-byte texels, weight w of b in 0..256, rounded: two channels
// per 32-bit word, each in its own 16-bit lane (255 x 256 + 128 still fits).
inline uint32_t lerpTexel(uint32_t a, uint32_t b, uint32_t w) {
  uint32_t iw = 256 - w;
  uint32_t lo = (((a & 0x00FF00FFu) * iw + (b & 0x00FF00FFu) * w + 0x00800080u) >> 8) & 0x00FF00FFu;
  uint32_t hi =
      (((a >> 8) & 0x00FF00FFu) * iw + ((b >> 8) & 0x00FF00FFu) * w + 0x00800080u) & 0xFF00FF00u;
  return lo | hi;
}

}  // namespace corvane::compute
