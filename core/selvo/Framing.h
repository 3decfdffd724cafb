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

// A person's box as a crop must respect it (display pixels); a member is someone the crop is there
// to show. The core is the part no edge may ever run through (the face with the head and
// shoulders round it); the rest of the box (the display margin) is kept whole only where people
// sit far enough apart. An empty core is the whole box.
struct Body {
  double x0 = 0;
  double x1 = 0;
  double y0 = 0;
  double y1 = 0;
  bool member = false;
  double coreX0 = 0;
  double coreX1 = 0;
  double coreY0 = 0;
  double coreY1 = 0;
  bool hasCore() const { return coreX1 > coreX0 && coreY1 > coreY0; }
  // The body shrunk to its core.
  Body core() const;
};

// Crop geometry: shots of people and groups, circular spans across the 360-degree seam.
class Framing {
 public:
  // The subject fills two thirds of the shot's height and, widened by a fifth, its width.
  static constexpr double kShotHeightFactor = 1.5;
  static constexpr double kShotWidthFactor = 1.2;

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

  // A person's body from their box: the core is the middle half of the box's width (on a
  // 180-degree picture reaching the picture's edge where the box touches it, as the box was pushed
  // in there) and its top four fifths (the box holds the shoulders below the face).
  static Body body(const rect& box, double frameWidth, bool circular);

  // Bodies merged where they touch, as fence() sees them; kept by the caller between calls so
  // that a frame allocates nothing.
  struct Cluster {
    double x0, x1, y0, y1;
    bool member, other;
  };
  struct FenceScratch {
    std::vector<Cluster> clusters;
    std::vector<Body> cores;
    std::vector<double> stops;
    std::vector<double> depths;
  };

  // The crop nearest `pose` (same aspect) whose edges cross no body: every member whole inside,
  // everyone else whole inside or wholly outside (outside when `onlyMembers`). An edge inside a
  // person moves out to take them in when they are mostly inside, else into the gap beside them;
  // the other side grows with the width so the aspect holds. Inside the frame's height, at most
  // the frame's width. A crop that crosses nobody comes back unchanged. Where people sit too close
  // for that, the same holds for their cores (the margins of their boxes may be cut). One that
  // cannot be fenced even so (people packed wider than the crop can grow) comes back unchanged
  // too, unless `cutAtSides`: then its edges go where they run least deep into anyone's core.
  static CropPose fence(const CropPose& pose, double aspect, const FramingLimits& limits,
                        const std::vector<Body>& bodies, bool onlyMembers, FenceScratch& scratch,
                        bool cutAtSides = false);

  // Where a whole-turn view should start so that its edge crosses nobody: `preferred` when it
  // lies in a gap, else the middle of the widest gap between the bodies (`preferred` when there
  // is none).
  static double seamIn(const std::vector<Body>& bodies, double width, double preferred);
  // Whether a column lies inside a body (on the circle of that width).
  static bool crosses(const std::vector<Body>& bodies, double x, double width);
  // The centre row of a band `height` tall (inside the frame's height) that leaves the least of
  // anyone's core above or below it: `preferred` when it leaves nothing out, else the nearest
  // centre that leaves out least.
  static double bandCentre(const std::vector<Body>& cores, double height, double frameHeight,
                           double preferred);
  // Where a whole turn splits into two parts that cross nobody: columns `first` and `second`
  // (second - first within `shortest` .. `longest`, as near half the turn as the gaps allow, each
  // as far from the people beside it as they can be up to a little room). `preferred` and the
  // column half a turn on when both are clear. False when every split cuts someone (then
  // `preferred` and half a turn on).
  static bool halves(const std::vector<Body>& bodies, double width, double preferred,
                     double shortest, double longest, double& first, double& second);
};

}  // namespace selvo
