#pragma once

#include <vector>

#include "LayoutModel.h"

namespace selvo {

// Turns display-space crops into ROI pairs on the source the renderer samples (mirrored already,
// not shifted by the content offset). A crop over the source's edge becomes two pairs.
class PairEmitter {
 public:
  explicit PairEmitter(const LayoutGeometry& geometry) : geometry_(geometry) {}

  // The source column of a display column.
  double toSource(double displayX) const;
  // The display rectangle of a stored rectangle (content offset and mirror applied).
  static rect toDisplay(const rect& stored, const LayoutGeometry& geometry);

  // Appends the pairs of one crop; `model` carries ids and flags, its rectangles are replaced.
  // Edge bits of `model` are kept on the outer sides of a split. Returns the number appended.
  int emit(const rect& dst, const CropPose& pose, double aspect, const roi_pair& model,
           std::vector<roi_pair>& out) const;

  // The name-tag bit of a style (0 normal, 1 tracked, 2 speaking), inside the tile or outside.
  static unsigned nameTagBit(bool inside, int style);
  static constexpr unsigned kAllEdges =
      ROI_EDGE_TOP | ROI_EDGE_BOTTOM | ROI_EDGE_LEFT | ROI_EDGE_RIGHT;

 private:
  const LayoutGeometry& geometry_;
};

}  // namespace selvo
