// The detector's tilings: every face small enough for a tiling lies whole in one of its tiles,
// wherever it sits, and the standard tilings stay as few as the detector's time budget allows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "selvo/PanoramaTiles.h"

using selvo::PanoramaTiles;

namespace {

// Whether a face of `size` at (x, y) lies whole in the tile; x wraps on a 360-degree panorama.
bool Holds(const PanoramaTiles::Tile& t, int x, int y, int size, int width, bool is360) {
  if (y < t.y || y + size > t.y + t.side) return false;
  for (int turn : is360 ? std::vector<int>{0, width} : std::vector<int>{0})
    if (x + turn >= t.x && x + turn + size <= t.x + t.side) return true;
  return false;
}

// The first face position (x, y) of `size` over rows [top, bottom) that no tile holds whole,
// or an empty string.
std::string FirstMiss(const std::vector<PanoramaTiles::Tile>& tiles, int width, int top, int bottom,
                      int size, bool is360) {
  int lastX = is360 ? width - 1 : width - size;
  for (int y = top; y + size <= bottom; y += 5)
    for (int x = 0; x <= lastX; x += 3) {
      bool held = false;
      for (const auto& t : tiles) held = held || Holds(t, x, y, size, width, is360);
      if (!held) return std::to_string(x) + "," + std::to_string(y);
    }
  return {};
}

}  // namespace

TEST(PanoramaTilesTest, EveryFaceOfAQuarterSideLiesWholeInAWholeHeightTile) {
  struct Case {
    int width, height;
    bool is360;
    int modelType;
    size_t tiles;  // the standard ones are the detector's budget: more would slow every pass
  };
  // The program takes a 3840 x 1080 picture as a flat one (four tiles, below); round a full
  // circle it takes five.
  for (const Case& c : {Case{3840, 1080, true, 2, 5}, Case{4992, 1248, true, 2, 5},
                        Case{3840, 1080, false, 2, 4}, Case{3840, 1080, true, 0, 4},
                        Case{3840, 1080, true, 1, 16}, Case{1920, 1080, false, 1, 8}}) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " type " +
                 std::to_string(c.modelType) + (c.is360 ? " 360" : ""));
    auto tiles =
        PanoramaTiles::Make(c.width, c.height, c.is360, PanoramaTiles::SideFactor(c.modelType));
    EXPECT_EQ(tiles.size(), c.tiles);
    ASSERT_FALSE(tiles.empty());
    int face = std::min(tiles[0].side / 4, c.height);
    EXPECT_EQ(FirstMiss(tiles, c.width, 0, c.height, face, c.is360), "");
  }
}

TEST(PanoramaTilesTest, EveryFaceOfAQuarterSideInTheBandLiesWholeInABandTile) {
  struct Case {
    int width, height;
    bool is360;
    float side, top, bottom;
    size_t tiles;
  };
  // The standard band (0.44 of the height over rows 0.25 to 0.60), the fine one (0.40), and a
  // band taller than one tile.
  for (const Case& c : {Case{3840, 1080, true, 0.44f, 0.25f, 0.60f, 11},
                        Case{4992, 1248, true, 0.44f, 0.25f, 0.60f, 13},
                        Case{3840, 1080, true, 0.40f, 0.25f, 0.60f, 12},
                        Case{3840, 1080, false, 0.44f, 0.25f, 0.60f, 11},
                        Case{1920, 1080, false, 0.25f, 0.20f, 0.70f, 30}}) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " side " +
                 std::to_string(c.side) + (c.is360 ? " 360" : ""));
    int side = int(c.height * c.side), top = int(c.height * c.top),
        bottom = int(c.height * c.bottom);
    auto tiles = PanoramaTiles::MakeBand(c.width, c.height, c.is360, side, top, bottom, side / 4);
    EXPECT_EQ(tiles.size(), c.tiles);
    for (const auto& t : tiles) {
      EXPECT_EQ(t.side, side);
      EXPECT_GE(t.y, 0);
      EXPECT_LE(t.y + t.side, c.height);
    }
    EXPECT_EQ(FirstMiss(tiles, c.width, top, bottom, side / 4, c.is360), "");
  }
}

// A picture far wider or taller than a panorama gets no more tiles along a side than the bound:
// the tiles grow past the picture's other side instead, and still cover it.
TEST(PanoramaTilesTest, AnExtremeShapeKeepsTheTileCountOfAPanorama) {
  struct Case {
    int width, height;
    bool is360;
  };
  const size_t most = size_t(PanoramaTiles::kMaxTilesAlong) + 1;
  for (const Case& c : {Case{8192, 8, false}, Case{16384, 14, false}, Case{16384, 14, true},
                        Case{8, 8192, false}, Case{65536, 2, true}, Case{2, 65536, false}}) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) +
                 (c.is360 ? " 360" : ""));
    for (int modelType : {0, 1, 2}) {
      auto tiles =
          PanoramaTiles::Make(c.width, c.height, c.is360, PanoramaTiles::SideFactor(modelType));
      EXPECT_LE(tiles.size(), most) << "type " << modelType;
      ASSERT_FALSE(tiles.empty());
      // Every column and row of the picture lies in a tile.
      EXPECT_EQ(FirstMiss(tiles, c.width, 0, c.height, 1, c.is360), "") << "type " << modelType;
    }
    int side = std::max(1, int(c.height * 0.44f));
    auto band = PanoramaTiles::MakeBand(c.width, c.height, c.is360, side, int(c.height * 0.25f),
                                        int(c.height * 0.6f), side / 4);
    EXPECT_LE(band.size(), most);
    ASSERT_FALSE(band.empty());
    for (const auto& t : band) {
      if (t.side >= c.height) {
        EXPECT_LE(t.y, 0) << "a tile taller than the picture is centred";
      }
    }
  }
}
