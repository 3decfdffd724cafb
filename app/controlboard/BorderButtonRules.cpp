#include "controlboard/BorderButtonRules.h"

namespace corvane {

namespace {

BorderButtonRules::Look toggle(bool drawn, const char* showKey, const char* hideKey) {
  return {drawn, drawn ? hideKey : showKey};
}

}  // namespace

BorderButtonRules::Looks BorderButtonRules::looks(const Drawn& drawn, long ignoreAreaCount) {
  Looks out;
  out.outlines[0] =
      toggle(drawn.normal, "control_panel_roi_normal_tip", "control_panel_roi_normal_hide_tip");
  out.outlines[1] = toggle(drawn.tracking, "control_panel_roi_tracking_tip",
                           "control_panel_roi_tracking_hide_tip");
  out.outlines[2] =
      toggle(drawn.ignore, "control_panel_roi_ignore_tip", "control_panel_roi_ignore_hide_tip");
  out.showVisible = ignoreAreaCount > 0;
  out.show = out.outlines[2];
  // Hidden, it is not lit either (it comes back lit or not from the same flag).
  if (!out.showVisible) out.show.lit = false;
  return out;
}

}  // namespace corvane
