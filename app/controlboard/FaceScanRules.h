#pragma once

#include <chrono>
#include <optional>

#include "camera/Display.h"
#include "dispatch/Clock.h"

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

  // `startedAt` and `now` on the monotonic clock, which a change of the wall clock leaves
  // alone; no start means the scan never started.
  static Stop stop(bool running, Display mode, bool faceAutoTracking,
                   std::optional<platform::Clock::TimePoint> startedAt,
                   platform::Clock::TimePoint now) {
    if (!running) return Stop::nothing;
    if (mode == Display::focus || mode == Display::topDown) return Stop::endForMode;
    if (faceAutoTracking) return Stop::restart;
    if (!startedAt) return Stop::nothing;
    if (now - *startedAt <= std::chrono::duration<double>(kMinimumSeconds)) return Stop::later;
    return Stop::end;
  }
};

}  // namespace corvane
