#include "SpeakerPlanner.h"

#include <algorithm>
#include <cmath>

#include "FocusPlanner.h"

namespace selvo {

namespace {

const LayoutPerson* pinned(const PlanContext& context) {
  for (const LayoutPerson& p : context.people) {
    if (p.pinRank == 0) return &p;
  }
  return nullptr;
}

// The main tile: one camera for whoever is the subject, so a change of speaker is one move.
LayoutTile mainTile(const PlanContext& context, const LayoutPerson& subject, const rect& dst) {
  LayoutTile t = context.personTile(subject, dst);
  t.key = slotTileKey(0);
  t.speakerCut = true;
  return t;
}

}  // namespace

void SpeakerPlanner::planSpeaker(const PlanContext& context, std::vector<LayoutTile>& tiles) {
  const double ow = context.geometry.outputWidth;
  const double oh = context.geometry.outputHeight;
  const LayoutPerson* speaker = context.find(context.activeSpeaker);
  if (!speaker) {
    FocusPlanner::planGroupShot(context, makeRect(0, 0, ow, oh), slotTileKey(0), 0, tiles);
    for (LayoutTile& t : tiles) t.speakerCut = true;
    return;
  }
  std::vector<const LayoutPerson*> side;
  if (const LayoutPerson* pin = pinned(context); pin && pin != speaker) side.push_back(pin);
  for (int id : context.recentSpeakers) {
    if (static_cast<int>(side.size()) >= kMaxSide) break;
    const LayoutPerson* p = context.find(id);
    if (!p || p == speaker || std::find(side.begin(), side.end(), p) != side.end()) continue;
    side.push_back(p);
  }
  if (side.empty()) {
    tiles.push_back(mainTile(context, *speaker, makeRect(0, 0, ow, oh)));
    return;
  }
  const double split = std::round(ow * 2.0 / 3.0);
  LayoutTile main = mainTile(context, *speaker, makeRect(0, 0, split, oh));
  main.highlight = true;
  tiles.push_back(main);
  const int n = static_cast<int>(side.size());
  for (int i = 0; i < n; ++i) {
    const double top = std::round(oh * i / n);
    const double bottom = std::round(oh * (i + 1) / n);
    tiles.push_back(context.personTile(*side[i], makeRect(split, top, ow - split, bottom - top)));
  }
}

void SpeakerPlanner::planSingleSpeaker(const PlanContext& context, std::vector<LayoutTile>& tiles) {
  const rect dst = makeRect(0, 0, context.geometry.outputWidth, context.geometry.outputHeight);
  const LayoutPerson* subject = context.find(context.activeSpeaker);
  if (!subject) subject = pinned(context);
  if (subject) {
    tiles.push_back(mainTile(context, *subject, dst));
    return;
  }
  FocusPlanner::planGroupShot(context, dst, slotTileKey(0), 0, tiles);
  for (LayoutTile& t : tiles) t.speakerCut = true;
}

}  // namespace selvo
