#include "PanoramaTiles.h"

#include <algorithm>
#include <cmath>

#include "LumaCrop.h"

namespace selvo {

namespace {
// Evenly spaced starts of `count` tiles of `side` over [0, extent - side].
std::vector<int> spread(int extent, int side, int count) {
  std::vector<int> starts;
  if (count <= 1) {
    starts.push_back((extent - side) / 2);
    return starts;
  }
  for (int i = 0; i < count; ++i)
    starts.push_back(int(std::lround(double(extent - side) * i / (count - 1))));
  return starts;
}

// The least side that keeps a tiling within kMaxTilesAlong tiles along both sides: tiles step
// by three quarters of a side.
int boundedSide(int side, int width, int height) {
  const int along = PanoramaTiles::kMaxTilesAlong * 3;
  auto least = [along](int extent) { return int((int64_t(extent) * 4 + along - 1) / along); };
  return std::max({side, least(width), least(height)});
}
}  // namespace

float PanoramaTiles::SideFactor(int modelType) {
  switch (modelType) {
    case 0:
      return 1.5f;
    case 1:
      return 0.6f;
    default:
      // A little taller than the picture: four tiles across a 3840 x 1080 picture, five round a
      // 4992 x 1248 panorama. Faces too small for them are the band pass's. At 1.2 a face of 150
      // pixels (about 30 of the model's input) came and went as a compressed picture turned by a
      // few pixels; much coarser (1.35 and up) loses some large faces near the camera.
      return 1.1f;
  }
}

std::vector<PanoramaTiles::Tile> PanoramaTiles::Make(int width, int height, bool is360,
                                                     float sideFactor) {
  std::vector<Tile> tiles;
  if (width <= 0 || height <= 0) return tiles;
  int side = std::max(16, int(std::lround(height * sideFactor)));
  side = boundedSide(std::min(side, std::max(width, 16)), width, height);
  int step = std::max(1, side - side / 4);

  std::vector<int> rows;
  if (side >= height) {
    rows.push_back((height - side) / 2);
  } else {
    int count = 1 + int(std::ceil(double(height - side) / step));
    rows = spread(height, side, count);
  }

  std::vector<int> cols;
  if (is360 && side < width) {
    int count = std::max(1, int(std::ceil(double(width) / step)));
    for (int i = 0; i < count; ++i) cols.push_back(int(std::lround(double(width) * i / count)));
  } else if (side >= width) {
    cols.push_back((width - side) / 2);
  } else {
    int count = 1 + int(std::ceil(double(width - side) / step));
    cols = spread(width, side, count);
  }

  for (int y : rows)
    for (int x : cols) tiles.push_back({x, y, side});
  return tiles;
}

std::vector<PanoramaTiles::Tile> PanoramaTiles::MakeBand(int width, int height, bool is360,
                                                         int side, int bandTop, int bandBottom,
                                                         int minOverlap) {
  std::vector<Tile> tiles;
  if (width <= 0 || height <= 0 || side <= 0) return tiles;
  const int asked = side;
  side = boundedSide(std::min({side, height, std::max(width, 16)}), width, height);
  // The overlap down is asked for tiles of the asked side: it keeps its share of a tile whose
  // side the picture's shape changed, and never exceeds half a side, so that the rows step on:
  // kept in pixels on a tile shrunk to a narrow picture's width it would step one row at a time.
  minOverlap = int(int64_t(std::max(0, minOverlap)) * side / asked);
  minOverlap = std::min(minOverlap, side / 2);
  std::vector<int> rows;
  if (side >= height) {
    rows.push_back((height - side) / 2);
  } else {
    bandTop = std::clamp(bandTop, 0, height - side);
    bandBottom = std::clamp(bandBottom, bandTop + side, height);
    int rowStep = std::max(1, side - minOverlap);
    int rowCount = 1 + int(std::ceil(double(bandBottom - bandTop - side) / rowStep));
    for (int i = 0; i < rowCount; ++i)
      rows.push_back(rowCount == 1 ? bandTop
                                   : bandTop + int(std::lround(double(bandBottom - bandTop - side) *
                                                               i / (rowCount - 1))));
  }
  int step = std::max(1, side - side / 4);
  std::vector<int> cols;
  if (is360) {
    int count = std::max(1, int(std::ceil(double(width) / step)));
    for (int i = 0; i < count; ++i) cols.push_back(int(std::lround(double(width) * i / count)));
  } else {
    int count = 1 + int(std::ceil(double(width - side) / step));
    cols = spread(width, side, count);
  }
  for (int y : rows)
    for (int x : cols) tiles.push_back({x, y, side});
  return tiles;
}

void PanoramaTiles::Copy(const uint8_t* luma, int width, int height, int bytesPerRow, bool is360,
                         const Tile& tile, cv::Mat& out) {
  LumaCrop::Copy({luma, width, height, bytesPerRow, is360}, {tile.x, tile.y, tile.side, tile.side},
                 out);
}

}  // namespace selvo
