#include "FocusPlanner.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace selvo {

namespace {

rect fullOutput(const PlanContext& context) {
  return makeRect(0, 0, context.geometry.outputWidth, context.geometry.outputHeight);
}

bool usable(const rect& r) { return r.width > 1 && r.height > 1; }

}  // namespace

bool FocusPlanner::planGroupShot(const PlanContext& context, const rect& dst, uint32_t key,
                                 double marginX, std::vector<LayoutTile>& tiles) {
  std::vector<const LayoutPerson*> everyone = context.byPosition();
  LayoutTile t;
  t.key = key;
  t.layer = TileLayer::Scene;
  t.dst = dst;
  if (everyone.empty() || !context.groupFits(everyone, t.aspect(), marginX)) {
    planPanorama(context, tiles);
    return false;
  }
  t.target = context.groupShot(everyone, t.aspect(), marginX);
  PlanContext::fenceGroup(t, everyone);
  tiles.push_back(std::move(t));
  return true;
}

bool FocusPlanner::planFocus(const PlanContext& context, std::vector<LayoutTile>& tiles) {
  const rect dst = fullOutput(context);
  if (context.fitPolicy == kPolicyAudioFit) {
    if (const LayoutPerson* speaker = context.find(context.activeSpeaker)) {
      LayoutTile t = context.personTile(*speaker, dst);
      t.key = slotTileKey(1);
      t.layer = TileLayer::Scene;
      FramingLimits l = context.limits(context.extendPixels);
      t.target = Framing::frame(speaker->box, t.aspect(), l);
      tiles.push_back(t);
      return true;
    }
  }
  if (context.fitPolicy == kPolicyAudioFit || context.fitPolicy == kPolicyBodyFit) {
    return planGroupShot(context, dst, slotTileKey(1), context.extendPixels, tiles);
  }
  if (usable(context.focusRect)) {
    tiles.push_back(context.fixedTile(context.focusRect, dst, slotTileKey(2)));
  } else {
    planPanorama(context, tiles);
  }
  return false;
}

void FocusPlanner::planPanorama(const PlanContext& context, std::vector<LayoutTile>& tiles) {
  context.panoramaTiles(tiles);
}

void FocusPlanner::planTopDown(const PlanContext& context, std::vector<LayoutTile>& tiles) {
  if (!context.geometry.is360) {
    planPanorama(context, tiles);
    return;
  }
  const double ow = context.geometry.outputWidth;
  const double half = std::round(context.geometry.outputHeight / 2.0);
  const double w = context.geometry.videoWidth;
  const double h = context.geometry.videoHeight;
  // The turn split where nobody sits: the part from the first seam to the second on top.
  const double seams[3] = {context.topDownFirst, context.topDownSecond, context.topDownFirst + w};
  for (int i = 0; i < 2; ++i) {
    LayoutTile t;
    t.key = slotTileKey(22 + i);
    t.layer = TileLayer::Scene;
    t.dst = makeRect(0, i * half, ow, i == 0 ? half : context.geometry.outputHeight - half);
    const double aspect = t.aspect();
    const double from = seams[i];
    const double length = seams[i + 1] - seams[i];
    t.target = Framing::fit(from, length, 0, h, aspect);
    // Its edges pass above and below the faces of the people in it where it is tall enough.
    std::vector<Body> cores;
    double sum = 0;
    for (const LayoutPerson& p : context.people) {
      const Body core = context.bodyOf(p).core();
      const double centre = (core.x0 + core.x1) * 0.5;
      if (Framing::wrap(centre - from, w) >= length) continue;
      cores.push_back(core);
      sum += p.box.y + p.box.height * 0.5;
    }
    const double preferred = cores.empty() ? context.peopleCentreY() : sum / cores.size();
    t.target.cy = Framing::bandCentre(cores, t.target.h, h, preferred);
    t.target = Framing::clamp(t.target, aspect, context.limits());
    tiles.push_back(t);
  }
}

}  // namespace selvo
