#pragma once

#include <vector>

#include "PlanContext.h"

namespace selvo {

// Focus (manual rectangle, audio fit, body fit), the group shot the speaker modes fall back to,
// the panorama and the top-down halves.
class FocusPlanner {
 public:
  static constexpr int kPolicyManual = 1;
  static constexpr int kPolicyAudioFit = 2;
  static constexpr int kPolicyBodyFit = 3;

  // Returns true when the tile is a fitted frame the control view should outline.
  static bool planFocus(const PlanContext& context, std::vector<LayoutTile>& tiles);
  // Everyone in one 16:9 shot, or the panorama when they do not fit; keyed to `key`.
  static bool planGroupShot(const PlanContext& context, const rect& dst, uint32_t key,
                            double marginX, std::vector<LayoutTile>& tiles);
  static void planPanorama(const PlanContext& context, std::vector<LayoutTile>& tiles);
  static void planTopDown(const PlanContext& context, std::vector<LayoutTile>& tiles);
};

}  // namespace selvo
