#pragma once

#include <vector>

#include "LayoutModel.h"

namespace selvo {

// One outline of the control view.
struct BorderItem {
  rect box;  // display coordinates, video pixels
  int id = -1;
  int type = 0;  // 0 normal, 1 tracked, 2 speaking, 11 focus, 12 presentation
  unsigned icons = 0;
  bool dashed = false;
};

// The control view's pairs: the panorama from the content offset (type 1) and one border pair per
// outline (type 3), in sub-window units, at most `kMaxPairs` together.
class SubwindowPairs {
 public:
  static constexpr int kMaxPairs = 20;
  static constexpr int kTileList = 1;
  static constexpr int kBorderList = 3;

  // `borders` in order of importance: what does not fit is dropped from the end.
  void build(const LayoutGeometry& geometry, int subWidth, int subHeight,
             const std::vector<BorderItem>& borders);
  void clear();
  const std::vector<roi_pair>& tiles() const { return tiles_; }
  const std::vector<roi_pair>& borders() const { return borders_; }

 private:
  std::vector<roi_pair> tiles_;
  std::vector<roi_pair> borders_;
};

}  // namespace selvo
