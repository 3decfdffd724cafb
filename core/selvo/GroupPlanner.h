#pragma once

#include <vector>

#include "PlanContext.h"

namespace selvo {

// Two groups: the people split at the largest gaps between them, each group framed in one half
// (side by side, or stacked when a group is too wide for a half).
class GroupPlanner {
 public:
  void reset() { stacked_ = false; }
  void plan(const PlanContext& context, std::vector<LayoutTile>& tiles);

  // The people split into two groups, each in order of position.
  static std::vector<std::vector<const LayoutPerson*>> split(const PlanContext& context);

 private:
  bool stacked_ = false;
};

}  // namespace selvo
