#pragma once

#include <optional>

#include "camera/ConnectMode.h"

namespace corvane {

// What the preview, the composed views and the ROI outlines show as the connection goes. While a
// source streams they show its pictures. Once it is gone (the camera disconnected, the file
// player left without a file, a new search begun from a live connection) the pictures held are
// let go and the views are dark, as at a start without a source, until the next connection: the
// connection pane then reads on a dark ground, never over a frozen room with its boxes. The
// watch's own reopening keeps the connection (and the picture) through a short glitch.
class SourcePictureRule {
 public:
  struct Step {
    bool clear = false;  // let go of the pictures held now
    bool shows = true;   // whether pictures composed from now on are shown
    bool operator==(const Step&) const = default;
  };

  // The connection went to `mode`.
  Step connectModeChanged(ConnectMode mode);
  bool shows() const { return shows_; }

 private:
  // A start shows what comes during its search: the launch screen is over it, nothing is held.
  bool shows_ = true;
  std::optional<ConnectMode> last_;
};

}  // namespace corvane
