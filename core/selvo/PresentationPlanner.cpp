#include "PresentationPlanner.h"

#include <algorithm>
#include <cmath>

namespace selvo {

rect PresentationPlanner::windowRect(int level, int outputWidth, int outputHeight) {
  static constexpr double kFraction[] = {0.2, 0.25, 1.0 / 3.0};
  const double w = std::round(outputWidth * kFraction[std::clamp(level, 1, 3) - 1] / 2) * 2;
  const double h = std::round(w * 9.0 / 16.0 / 2) * 2;
  const double margin = std::round(outputWidth / 64.0);
  return makeRect(outputWidth - w - margin, outputHeight - h - margin, w, h);
}

int PresentationPlanner::plan(const PlanContext& context, std::vector<LayoutTile>& tiles) {
  const int ow = context.geometry.outputWidth;
  const int oh = context.geometry.outputHeight;
  const rect& board = context.presentationRect;
  if (board.width > 1 && board.height > 1) {
    tiles.push_back(context.fixedTile(board, makeRect(0, 0, ow, oh), slotTileKey(3)));
  } else {
    context.panoramaTiles(tiles);
  }
  const LayoutPerson* subject = nullptr;
  for (const LayoutPerson& p : context.people) {
    if (p.pinRank == 0) subject = &p;
  }
  if (!subject) subject = context.find(context.activeSpeaker);
  if (!subject && !context.people.empty()) {
    const double bx = board.x + board.width * 0.5;
    double best = 0;
    for (const LayoutPerson& p : context.people) {
      const double d = std::fabs(
          Framing::delta(bx, p.centerX(), context.geometry.videoWidth, context.geometry.is360));
      if (!subject || d < best) {
        subject = &p;
        best = d;
      }
    }
  }
  if (!subject) return -1;
  const rect dst = windowRect(context.pipLevel, ow, oh);
  const double minHeight = dst.height / std::max(0.1f, context.tuning.pipEnlargeLimit);
  LayoutTile t = context.personTile(*subject, dst, minHeight);
  t.key = slotTileKey(4);
  t.layer = TileLayer::Overlay;
  t.speakerCut = true;
  // A neighbour packed too close to leave out or take in is cut at the side, not the face.
  t.cutAtSides = true;
  tiles.push_back(t);
  return subject->id;
}

}  // namespace selvo
