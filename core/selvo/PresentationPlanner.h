#pragma once

#include <vector>

#include "PlanContext.h"

namespace selvo {

// Presentation: the presentation rectangle full size and a picture-in-picture window with the
// pinned person, else the speaker, else the person nearest the rectangle.
class PresentationPlanner {
 public:
  // Returns the id of the person in the small window, -1 when it is empty.
  static int plan(const PlanContext& context, std::vector<LayoutTile>& tiles);
  // The small window of size level 1..3, at the bottom right.
  static rect windowRect(int level, int outputWidth, int outputHeight);
};

}  // namespace selvo
