#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "render/LayoutRecords.h"
#include "render/PerspectiveProjection.h"
#include "render/compute/ThreadPool.h"

namespace corvane {

// Where each output pixel of a tile reads the source, in texel coordinates with 8 fractional
// bits, prepared on the CPU before "layoutKernel" runs and kept while the tile's records, the
// source size and the output size stay the same: a moving tile is recomputed, a still one is
// not. Plain crops keep one column and one row table; perspective tiles one entry per pixel.
class LayoutRemapCache {
 public:
  static constexpr int32_t kBlank = INT32_MIN;  // a pixel outside the camera's picture

  struct Tile {
    bool active = false;
    bool thumbnail = false;              // reads the thumbnail texture (RGBA) instead of the source
    bool perspective = false;            // per-pixel map instead of separable tables
    bool wrapX = false;                  // columns past the source's right edge continue at 0
    int x0 = 0, x1 = 0, y0 = 0, y1 = 0;  // output span, clipped to the output
    int textureWidth = 0, textureHeight = 0;  // size of the texture the map reads
    // Separable tables (plain crops): texel index pairs and weights of the second (0..256).
    std::vector<int32_t> colA, colB, rowA, rowB;
    std::vector<uint16_t> colW, rowW;
    // Per-pixel map (perspective): row-major over the span, kBlank where nothing is drawn.
    std::vector<int32_t> mapX, mapY;
  };

  struct Inputs {
    const std::array<RoiProperty, kLayoutRecordCount>* src = nullptr;
    const std::array<RoiProperty, kLayoutRecordCount>* dst = nullptr;
    int sourceWidth = 0, sourceHeight = 0;
    int thumbnailWidth = 0, thumbnailHeight = 0;
    int outputWidth = 0, outputHeight = 0;
    bool wrapSource = true;
    PerspectiveProjection::Camera camera;
  };

  // Brings every tile up to date; returns how many were recomputed.
  size_t prepare(const Inputs& inputs, compute::ThreadPool& pool);
  const Tile& tile(size_t index) const { return tiles_[index]; }

  // Grid step of exact projections in a perspective map; pixels between are interpolated.
  static constexpr int kGridStep = 8;

 private:
  struct Key {
    RoiProperty src, dst;
    int sourceWidth = 0, sourceHeight = 0, thumbnailWidth = 0, thumbnailHeight = 0;
    int outputWidth = 0, outputHeight = 0;
    bool wrapSource = false;
    bool valid = false;
    bool operator==(const Key& other) const;
  };
  static void buildCrop(Tile& tile, const RoiProperty& src, const RoiProperty& dst);
  void buildPerspective(Tile& tile, const RoiProperty& dst, const Inputs& in,
                        compute::ThreadPool& pool);

  std::array<Tile, kLayoutRecordCount> tiles_;
  std::array<Key, kLayoutRecordCount> keys_;
};

}  // namespace corvane
