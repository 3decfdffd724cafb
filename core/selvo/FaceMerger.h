#pragma once

#include <cstddef>
#include <vector>

#include "SelvoTypes.h"

namespace selvo {

// Joins the faces found in overlapping tiles: weighted non-maximum suppression in panorama
// pixels, aware of the 360-degree seam (a box near x = 0 and one near x = width can be the same
// face).
class FaceMerger {
 public:
  // Intersection over union; with a wrap width > 0, also compared shifted by one turn.
  static float Overlap(const rect& a, const rect& b, float wrapWidth);

  // The share of the smaller box that lies in the larger one (a box inside another gives 1),
  // compared across the seam as Overlap is.
  static float Covered(const rect& a, const rect& b, float wrapWidth);

  // A merge looks at no more than this many boxes, the best-scoring ones: it compares each box
  // with every cluster before it, so its time grows with the square of the count. A pass over a
  // room gives a few hundred boxes; a picture of noise or an extreme shape gives tens of
  // thousands, which took seconds no stop could cut short.
  static constexpr size_t kMaxBoxes = 4096;

  // Clusters of boxes overlapping the best remaining one by more than `threshold` become one
  // box: their score-weighted mean, with the best score. Results are ordered by score, x is
  // brought into [0, wrapWidth) when wrapping. Of more than kMaxBoxes boxes the weakest are
  // left out.
  static std::vector<rect> Merge(std::vector<rect> faces, float threshold, float wrapWidth);
};

}  // namespace selvo
