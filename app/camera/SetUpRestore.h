#pragma once

namespace corvane {

// What follows a camera's set-up once its first frame is analysed. Every set-up (the first
// connection, the watch's reopening, a plug-in, Try Again) sets the analysis up anew and so loses
// its boxes: the current ROI record is restored and, where the settings ask, the launch detection
// runs. When the watch reopened the camera after a glitch, the boxes the user had in force just
// before (drawn, pinned, ignore areas) are carried into the new set-up instead of the record's, so
// a second's glitch costs the user nothing.
class SetUpRestore {
 public:
  struct Situation {
    // The connection watch reopened the camera (no stop came in between).
    bool reconnection = false;
    // The new set-up has the source size the boxes in force were made at.
    bool sameSize = false;
    int boxesInForce = 0;  // drawn and pinned
    int ignoreAreasInForce = 0;
    // The settings' enableNewDetectLayout and enableLaunchDetect are both on.
    bool launchDetectAsked = false;
  };
  struct Plan {
    // The current ROI record's display mode, field of view, mirror, offset, preset, tracking.
    bool restoreRecord = true;
    // Its boxes and ignore areas too.
    bool recordBoxes = true;
    // The boxes and ignore areas in force before the set-up go into the new one.
    bool carryBoxes = false;
    bool launchDetect = false;

    bool operator==(const Plan&) const = default;
  };

  static Plan plan(const Situation& situation);
};

}  // namespace corvane
