#include "OutlineBudget.h"

#include <algorithm>

namespace orlith {

int OutlineBudget::room(int boxes, int ignoreAreas) {
  return std::max(0, kOutlines - std::max(0, boxes) - std::max(0, ignoreAreas));
}

OutlineBudget::Fit OutlineBudget::fit(int boxes, int ignoreAreas) {
  Fit f;
  boxes = std::max(0, boxes);
  ignoreAreas = std::max(0, ignoreAreas);
  f.ignoreAreas = std::min(ignoreAreas, kOutlines);
  f.boxes = std::min(boxes, kOutlines - f.ignoreAreas);
  f.boxesLeftOut = boxes - f.boxes;
  f.ignoreAreasLeftOut = ignoreAreas - f.ignoreAreas;
  return f;
}

}  // namespace orlith
