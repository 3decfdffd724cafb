#pragma once

#include <cstddef>
#include <vector>

#include "selvo/SelvoTypes.h"

namespace orlith {

// Whether two boxes of the panorama frame one place: their overlap over their union reaches a
// threshold. On a 360-degree panorama a box may run past the right end; it is compared with the
// other box as it stands and as it stands one panorama width on.
class SamePlace {
 public:
  using rect = selvo::rect;

  // False for boxes that do not overlap at all, whatever the threshold.
  static bool test(const rect& a, const rect& b, float threshold, int width, bool is360);
  // The indices of the boxes to keep, in order: a box that frames the place of one kept before
  // it is left out.
  static std::vector<size_t> distinct(const std::vector<rect>& boxes, float threshold, int width,
                                      bool is360);
};

}  // namespace orlith
