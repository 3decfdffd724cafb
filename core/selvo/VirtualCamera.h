#pragma once

#include "LayoutModel.h"

namespace selvo {

// How a virtual camera moves.
struct CameraMotion {
  double tolerance = 0;  // dead band, pixels
  double maximum = 0;    // changes beyond this cut (when above the tolerance)
  int frames = 0;        // frames of an eased move
  double panWeight = 0.5;
  double width = 0;  // the full turn, for moves across the seam
  bool circular = false;
};

// One tile's camera: holds still inside the dead band, eases larger changes over a fixed number of
// frames, cuts when told to or when the change is beyond the maximum.
class VirtualCamera {
 public:
  // The pose to show this frame for the given target.
  CropPose update(const CropPose& target, const CameraMotion& motion, bool cut);
  const CropPose& pose() const { return pose_; }
  bool hasPose() const { return hasPose_; }
  bool moving() const { return step_ < frames_; }

  // The largest difference between two poses (centre on the circle, height).
  static double distance(const CropPose& a, const CropPose& b, const CameraMotion& motion);
  // The eased progress of a move at t in [0, 1].
  static double ease(double t, double panWeight);

 private:
  void start(const CropPose& target, const CameraMotion& motion);

  CropPose pose_;
  CropPose from_;
  CropPose to_;
  int step_ = 0;
  int frames_ = 0;
  bool hasPose_ = false;
};

}  // namespace selvo
