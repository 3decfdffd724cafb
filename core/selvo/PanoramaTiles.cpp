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
}  // namespace

float PanoramaTiles::SideFactor(int modelType) {
  switch (modelType) {
    case 0:
      return 1.5f;
    case 1:
      return 0.6f;
    default:
      return 1.0f;
  }
}

std::vector<PanoramaTiles::Tile> PanoramaTiles::Make(int width, int height, bool is360,
                                                     float sideFactor) {
  std::vector<Tile> tiles;
  if (width <= 0 || height <= 0) return tiles;
  int side = std::max(16, int(std::lround(height * sideFactor)));
  side = std::min(side, std::max(width, 16));
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

void PanoramaTiles::Copy(const uint8_t* luma, int width, int height, int bytesPerRow, bool is360,
                         const Tile& tile, cv::Mat& out) {
  LumaCrop::Copy({luma, width, height, bytesPerRow, is360}, {tile.x, tile.y, tile.side, tile.side},
                 out);
}

}  // namespace selvo
