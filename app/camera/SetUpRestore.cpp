#include "camera/SetUpRestore.h"

namespace corvane {

SetUpRestore::Plan SetUpRestore::plan(const Situation& s) {
  Plan plan;
  plan.carryBoxes =
      s.reconnection && s.sameSize && (s.boxesInForce > 0 || s.ignoreAreasInForce > 0);
  // The carried boxes are the people already framed: the record's would lie on them twice, and
  // a detection would replace what the user drew or pinned.
  plan.recordBoxes = !plan.carryBoxes;
  plan.launchDetect = s.launchDetectAsked && !plan.carryBoxes;
  return plan;
}

}  // namespace corvane
