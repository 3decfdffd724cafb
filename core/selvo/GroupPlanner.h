#pragma once

#include <vector>

#include "PlanContext.h"

namespace selvo {

// Two groups: the people split at the largest gaps between them, each group framed in one half
// (side by side, or stacked when a group is too wide for a half).
class GroupPlanner {
 public:
  void reset() {
    stacked_ = false;
    cutAfter_[0] = cutAfter_[1] = -1;
  }
  void plan(const PlanContext& context, std::vector<LayoutTile>& tiles);

  // The people split into two groups, each in order of position.
  std::vector<std::vector<const LayoutPerson*>> split(const PlanContext& context);

 private:
  bool stacked_ = false;
  int cutAfter_[2] = {-1, -1};  // the people the last frame's groups were cut after
};

}  // namespace selvo
