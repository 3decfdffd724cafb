#pragma once

#include <vector>

#include "PlanContext.h"

namespace selvo {

// Speaker (the speaker large, pinned and recent speakers beside) and single speaker.
class SpeakerPlanner {
 public:
  static constexpr int kMaxSide = 2;
  static void planSpeaker(const PlanContext& context, std::vector<LayoutTile>& tiles);
  static void planSingleSpeaker(const PlanContext& context, std::vector<LayoutTile>& tiles);
};

}  // namespace selvo
