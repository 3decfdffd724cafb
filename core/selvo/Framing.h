#pragma once

#include <vector>

#include "LayoutModel.h"

namespace selvo {

// Limits every shot obeys.
struct FramingLimits {
  double width = 0;   // frame width (the full turn on a 360-degree camera)
  double height = 0;  // frame height
  bool circular = false;
  double minHeight = 0;  // smallest crop height
  double marginX = 0;    // extra pixels left and right of the subject
};

// A horizontal span [start, start + length) in display pixels.
struct Span {
  double start = 0;
  double length = 0;
  double end() const { return start + length; }
};

// Crop geometry: shots of people and groups, circular spans across the 360-degree seam.
class Framing {
 public:
  // x reduced into [0, width).
  static double wrap(double x, double width);
  // The shortest signed way from a to b, across the seam when circular.
  static double delta(double a, double b, double width, bool circular);

  // The shot of a subject spanning [x0, x1] x [y0, y1] at the given aspect: head room above,
  // nobody cut where the frame allows it, inside the frame vertically (and horizontally when the
  // frame is not circular).
  static CropPose frame(double x0, double x1, double y0, double y1, double aspect,
                        const FramingLimits& limits);
  static CropPose frame(const rect& subject, double aspect, const FramingLimits& limits);

  // The smallest span covering all of them (on the circle: the complement of the largest gap).
  static Span cover(std::vector<Span> spans, double width, bool circular);

  // A crop kept inside the frame (and its width at most the frame's).
  static CropPose clamp(CropPose pose, double aspect, const FramingLimits& limits);

  // The largest crop of this aspect centred on the frame (or band) given.
  static CropPose fit(double x0, double width, double y0, double height, double aspect);
};

}  // namespace selvo
