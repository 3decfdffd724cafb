#pragma once

#include <vector>

#include "PlanContext.h"
#include "RoomPartition.h"

namespace selvo {

// Two groups: the people divided into two runs round the room, each framed whole and alone in
// one half of the output (side by side, or stacked when that shows them larger), the runs as
// even in width as the gaps between people allow.
class GroupPlanner {
 public:
  void reset() {
    stacked_ = false;
    starts_.clear();
  }
  void plan(const PlanContext& context, std::vector<LayoutTile>& tiles);

 private:
  bool stacked_ = false;
  std::vector<int> starts_;  // who began each group last frame
  RoomPartition partition_;
};

}  // namespace selvo
