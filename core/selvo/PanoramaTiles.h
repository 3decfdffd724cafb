#pragma once

#include <cstdint>
#include <opencv2/core.hpp>
#include <vector>

namespace selvo {

// Square tiles over a panorama for the face model, and the copying of one tile out of a luma
// plane. On a 360-degree panorama the tiles run round the circle, so one of them wraps across
// the seam; otherwise they span the width edge to edge.
class PanoramaTiles {
 public:
  struct Tile {
    int x = 0;  // left edge; on a 360-degree panorama x + side may pass the width
    int y = 0;  // top edge; negative when the tile is taller than the picture
    int side = 0;
  };

  // A tiling has at most about this many tiles along either side of the picture. On a picture
  // much wider or taller than a panorama the tiles grow instead, past the picture's other side,
  // so that a pass costs what it costs on a panorama's shape: 8192 x 8 would take thousands of
  // 16-pixel tiles. Panoramas up to about nine times as wide as high keep their tiling.
  static constexpr int kMaxTilesAlong = 32;

  // Detection scales the model type selects: the side of a tile relative to the picture height.
  // Type 1 looks finer (smaller faces, several times the work), type 0 coarser.
  static float SideFactor(int modelType);

  // Tiles of side factor x height (at most the width, unless kMaxTilesAlong asks for more),
  // overlapping by a quarter of a side so that a face up to that size lies whole in one of them.
  static std::vector<Tile> Make(int width, int height, bool is360, float sideFactor);

  // A finer tiling of the band where faces of seated and standing people appear (the top and
  // bottom of a room's panorama are ceiling and table): tiles of `side`, overlapping by a
  // quarter of a side across and by `minOverlap` down, covering rows [bandTop, bandBottom); at
  // least as large as kMaxTilesAlong asks, then centred on the picture's height if taller.
  static std::vector<Tile> MakeBand(int width, int height, bool is360, int side, int bandTop,
                                    int bandBottom, int minOverlap);

  // Copies the tile out of `luma` (width x height, bytesPerRow) into `out` (side x side),
  // wrapping x on a 360-degree panorama and repeating the edge pixels elsewhere.
  static void Copy(const uint8_t* luma, int width, int height, int bytesPerRow, bool is360,
                   const Tile& tile, cv::Mat& out);
};

}  // namespace selvo
