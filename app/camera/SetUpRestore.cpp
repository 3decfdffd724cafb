#include "camera/SetUpRestore.h"

namespace corvane {

SetUpRestore::Plan SetUpRestore::plan(const Situation& s) {
  Plan plan;
  plan.carryBoxes =
      s.reconnection && s.sameSize && (s.boxesInForce > 0 || s.ignoreAreasInForce > 0);
  // The carried boxes are what the user made since the record was restored: the record's would
  // lie on them twice. Detected boxes are not carried: the detection finds the people again.
  plan.recordBoxes = !plan.carryBoxes;
  plan.launchDetect = s.launchDetectAsked;
  return plan;
}

}  // namespace corvane
