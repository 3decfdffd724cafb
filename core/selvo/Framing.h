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

// A person's head-and-shoulders box as a crop must respect it (display pixels); a member is
// someone the crop is there to show.
struct Body {
  double x0 = 0;
  double x1 = 0;
  double y0 = 0;
  double y1 = 0;
  bool member = false;
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

  // Bodies merged where they touch, as fence() sees them; kept by the caller between calls so
  // that a frame allocates nothing.
  struct Cluster {
    double x0, x1, y0, y1;
    bool member, other;
  };
  using FenceScratch = std::vector<Cluster>;

  // The crop nearest `pose` (same aspect) whose edges cross no body: every member whole inside,
  // everyone else whole inside or wholly outside (outside when `onlyMembers`). An edge inside a
  // person moves out to take them in when they are mostly inside, else into the gap beside them;
  // the other side grows with the width so the aspect holds. Inside the frame's height, at most
  // the frame's width. A crop that crosses nobody comes back unchanged; one that cannot be
  // fenced (people packed wider than the crop can grow) too, unless `cutAtSides`: then, when
  // no crop crosses nobody, its edges go where they run least deep into anyone's box.
  static CropPose fence(const CropPose& pose, double aspect, const FramingLimits& limits,
                        const std::vector<Body>& bodies, bool onlyMembers, FenceScratch& scratch,
                        bool cutAtSides = false);

  // Where a whole-turn view should start so that its edge crosses nobody: `preferred` when it
  // lies in a gap, else the middle of the widest gap between the bodies (`preferred` when there
  // is none).
  static double seamIn(const std::vector<Body>& bodies, double width, double preferred);
  // Whether a column lies inside a body (on the circle of that width).
  static bool crosses(const std::vector<Body>& bodies, double x, double width);
};

}  // namespace selvo
