#pragma once

#include "selvo/SubwindowPairs.h"

namespace orlith {

// How many outlines (boxes and ignore areas together) may stand on the panorama: no more than the
// panorama view draws, so that every one can be seen, selected, moved and deleted there. The view
// composes at most twenty pairs; the panorama takes two when it is turned (its two pieces), the
// box being drawn one, and the fixed frame of the focus and presentation modes or the banner of a
// 180-degree camera one. The rectangle manager's own ceiling of 30 stands above this.
class OutlineBudget {
 public:
  static constexpr int kReservedPairs = 2 + 1 + 1;
  static constexpr int kOutlines = selvo::SubwindowPairs::kMaxPairs - kReservedPairs;

  // Outlines that may still be added beside `boxes` and `ignoreAreas`; never negative.
  static int room(int boxes, int ignoreAreas);

  // What of a saved layout goes on the panorama: its ignore areas first (they keep detection out
  // of places, and a layout holds few), then its boxes in order, up to the budget.
  struct Fit {
    int boxes = 0;
    int ignoreAreas = 0;
    int boxesLeftOut = 0;
    int ignoreAreasLeftOut = 0;
    bool operator==(const Fit&) const = default;
  };
  static Fit fit(int boxes, int ignoreAreas);
};

}  // namespace orlith
