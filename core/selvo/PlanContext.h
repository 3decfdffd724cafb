#pragma once

#include <vector>

#include "Framing.h"
#include "LayoutModel.h"

namespace selvo {

// Everything a planner reads for one frame, and the shot helpers they share.
class PlanContext {
 public:
  // Compose frames this many people by default: the six seats round a meeting-room table, the
  // most whose tiles side by side under the band (each at least 0.42 wide for 1 tall in a 16:9
  // output) still hold a seated person's head and shoulders whole at the full frame height.
  static constexpr int kDefaultComposeMaxCount = 6;

  LayoutGeometry geometry;
  LayoutTuningValues tuning;
  std::vector<LayoutPerson> people;  // joined people, in the order they joined
  // People present but not joined yet (or without an id): no tile shows them, none cuts them.
  std::vector<Body> waiting;
  int activeSpeaker = -1;
  std::vector<int> recentSpeakers;  // newest first
  rect focusRect;                   // display coordinates; id -1 when unset
  rect presentationRect;
  int fitPolicy = 1;
  int maxGridCount = 4;
  int composeMaxCount = kDefaultComposeMaxCount;
  // Where whole-panorama views start, in display columns (0: at the content offset).
  double panoramaTurn = 0;
  // Where the top-down view's two parts meet, in display columns (the first part runs from
  // `topDownFirst` to `topDownSecond`, the second on round the turn).
  double topDownFirst = 0;
  double topDownSecond = 0;
  int pipLevel = 1;
  int extendPixels = 250;
  bool autoMerge = true;

  // The limits of a person's shot.
  FramingLimits limits(double marginX = 0) const;
  // The shot of one person, or of several, at the given aspect.
  CropPose personShot(const LayoutPerson& person, double aspect, double minHeight = 0) const;
  CropPose groupShot(const std::vector<const LayoutPerson*>& group, double aspect,
                     double marginX = 0) const;
  // Whether a group fits into one shot of that aspect without cutting anybody.
  bool groupFits(const std::vector<const LayoutPerson*>& group, double aspect,
                 double marginX = 0) const;
  Span groupSpan(const std::vector<const LayoutPerson*>& group) const;
  // A person's body (box and core) in display coordinates.
  Body bodyOf(const LayoutPerson& person) const;

  // People sorted by where they are in the room, left to right from the content offset.
  std::vector<const LayoutPerson*> byPosition() const;
  // At most n people by priority (pins, speaker, highlighted, tracked, the others), then sorted by
  // position.
  std::vector<const LayoutPerson*> choose(int n) const;
  const LayoutPerson* find(int id) const;

  // Scene tiles.
  void panoramaTiles(std::vector<LayoutTile>& tiles) const;  // the whole frame, letterboxed
  LayoutTile bandTile(const rect& dst) const;                // the compose band
  // A fixed rectangle shown whole at the tile's aspect.
  LayoutTile fixedTile(const rect& source, const rect& dst, uint32_t key) const;
  LayoutTile personTile(const LayoutPerson& person, const rect& dst, double minHeight = 0) const;
  // A tile framing a group: everyone in it whole (`only`: and nobody else in it).
  static void fenceGroup(LayoutTile& tile, const std::vector<const LayoutPerson*>& group,
                         bool only = false);

  double peopleCentreY() const;
  double displayCentre(const LayoutPerson& person) const;
};

rect makeRect(double x, double y, double w, double h, int id = -1);

}  // namespace selvo
