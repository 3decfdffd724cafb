#include "VirtualCamera.h"

#include <algorithm>
#include <cmath>

#include "Framing.h"

namespace selvo {

double VirtualCamera::distance(const CropPose& a, const CropPose& b, const CameraMotion& motion) {
  const double dx = std::fabs(Framing::delta(a.cx, b.cx, motion.width, motion.circular));
  return std::max({dx, std::fabs(a.cy - b.cy), std::fabs(a.h - b.h)});
}

double VirtualCamera::ease(double t, double panWeight) {
  t = std::clamp(t, 0.0, 1.0);
  const double smooth = t * t * (3.0 - 2.0 * t);
  return (1.0 - panWeight) * t + panWeight * smooth;
}

void VirtualCamera::start(const CropPose& target, const CameraMotion& motion) {
  from_ = pose_;
  to_ = target;
  step_ = 0;
  frames_ = std::max(1, motion.frames);
}

CropPose VirtualCamera::update(const CropPose& target, const CameraMotion& motion, bool cut) {
  const bool beyond = [&] {
    return motion.maximum > motion.tolerance && distance(pose_, target, motion) > motion.maximum;
  }();
  if (!hasPose_ || cut || motion.frames <= 1 || beyond) {
    if (!hasPose_ || cut || beyond || distance(pose_, target, motion) > motion.tolerance) {
      pose_ = target;
    }
    hasPose_ = true;
    step_ = frames_ = 0;
    return pose_;
  }
  if (moving()) {
    // A target that wandered off the move's end re-aims the move from where the camera is.
    if (distance(to_, target, motion) > motion.tolerance) start(target, motion);
  } else if (distance(pose_, target, motion) > motion.tolerance) {
    start(target, motion);
  } else {
    return pose_;
  }
  ++step_;
  if (step_ >= frames_) {
    pose_ = to_;
    step_ = frames_ = 0;
    return pose_;
  }
  const double p = ease(static_cast<double>(step_) / frames_, motion.panWeight);
  const double dx = Framing::delta(from_.cx, to_.cx, motion.width, motion.circular);
  pose_.cx = from_.cx + dx * p;
  if (motion.circular) pose_.cx = Framing::wrap(pose_.cx, motion.width);
  pose_.cy = from_.cy + (to_.cy - from_.cy) * p;
  pose_.h = from_.h + (to_.h - from_.h) * p;
  return pose_;
}

}  // namespace selvo
