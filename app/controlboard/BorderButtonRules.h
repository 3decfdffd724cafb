#pragma once

#include <array>
#include <string>

namespace corvane {

// The outline toggles of the control panel: which are lit and what their tool tips say. The
// first toggles every frame that is not tracked (the people found and the areas drawn alike:
// the overlay draws both as one kind), the second the tracked people's, the third the ignore
// areas. "Show" beside the ignore-area button is the third one's twin: lit exactly while the
// ignore areas are drawn, whichever of the two changed that. A tool tip says what a click does.
class BorderButtonRules {
 public:
  struct Drawn {
    bool normal = true;
    bool tracking = true;
    bool ignore = true;
  };
  struct Look {
    bool lit = false;
    std::string tipKey;
  };
  struct Looks {
    std::array<Look, 3> outlines;  // normal, tracking, ignore
    bool showVisible = false;      // "Show" stands only while there is an ignore area
    Look show;
  };

  static Looks looks(const Drawn& drawn, long ignoreAreaCount);
};

}  // namespace corvane
