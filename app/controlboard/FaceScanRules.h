#pragma once

#include "camera/Display.h"

namespace corvane {

// When a running face scan may end. Every scan is shown for at least one second, so that a
// detection that finishes at once still shows the user that it ran.
class FaceScanRules {
 public:
  enum class Stop {
    nothing,     // no scan runs, or it never started
    later,       // ask again one second on
    endForMode,  // the mode has no face detection: end at once, both face buttons off
    end,         // end and give the face buttons back
    restart,     // face tracking goes on: a fresh scan
  };

  static constexpr double kMinimumSeconds = 1.0;

  // `startedAt` and `now` in seconds since 1970; a start of 0 means the scan never started.
  static Stop stop(bool running, Display mode, bool faceAutoTracking, double startedAt,
                   double now) {
    if (!running) return Stop::nothing;
    if (mode == Display::focus || mode == Display::topDown) return Stop::endForMode;
    if (faceAutoTracking) return Stop::restart;
    if (startedAt == 0) return Stop::nothing;
    if (now - startedAt <= kMinimumSeconds) return Stop::later;
    return Stop::end;
  }
};

}  // namespace corvane
