#include "GroupPlanner.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace selvo {

namespace {

// Arrangements switch only once a group clearly fits or clearly does not.
constexpr double kStackHysteresis = 0.9;
// A kept cut may be this much (of the frame width) worse than the best one.
constexpr double kKeepMargin = 0.03;

}  // namespace

std::vector<std::vector<const LayoutPerson*>> GroupPlanner::split(const PlanContext& context) {
  std::vector<const LayoutPerson*> order = context.byPosition();
  const int n = static_cast<int>(order.size());
  if (n < 2) {
    cutAfter_[0] = cutAfter_[1] = -1;
    return {order};
  }
  const double w = context.geometry.videoWidth;
  const bool circular = context.geometry.is360;
  // gap[i] lies between person i and person i + 1 (and, on the circle, the last and the first):
  // the clear room between everyone up to i and the next one, negative where they overlap.
  std::vector<double> gaps(n, -1e18);
  std::vector<double> starts(n);
  for (int i = 0; i < n; ++i) {
    starts[i] = context.displayCentre(*order[i]) - order[i]->box.width * 0.5;
  }
  const auto start = [&](int i) { return starts[i]; };
  double reach = -1e18;
  for (int i = 0; i < n; ++i) {
    reach = std::max(reach, start(i) + order[i]->box.width);
    if (i + 1 < n) gaps[i] = start(i + 1) - reach;
  }
  if (circular) gaps[n - 1] = start(0) + w - reach;
  const auto widest = [&](int skip) {
    int best = -1;
    for (int i = 0; i < n; ++i) {
      if (i == skip || gaps[i] <= -1e17) continue;
      if (best < 0 || gaps[i] > gaps[best]) best = i;
    }
    return best;
  };
  // The cuts of the last frame stay while they are nearly as good as the best ones, so people
  // sitting at even distances do not hop between the groups.
  const auto indexOf = [&](int id) {
    for (int i = 0; i < n; ++i) {
      if (order[i]->id == id) return i;
    }
    return -1;
  };
  int cutA = widest(-1);
  int cutB = circular ? widest(cutA) : -1;
  // A split only between people, never through one: without room for it, one group.
  if (cutA < 0 || gaps[cutA] < 0 || (circular && (cutB < 0 || gaps[cutB] < 0))) {
    cutAfter_[0] = cutAfter_[1] = -1;
    return {order};
  }
  const double best = gaps[cutA] + (cutB >= 0 ? gaps[cutB] : 0.0);
  const int keptA = indexOf(cutAfter_[0]);
  const int keptB = circular ? indexOf(cutAfter_[1]) : -1;
  if (keptA >= 0 && (!circular || (keptB >= 0 && keptB != keptA)) && gaps[keptA] >= 0 &&
      (keptB < 0 || gaps[keptB] >= 0)) {
    const double kept = gaps[keptA] + (keptB >= 0 ? gaps[keptB] : 0.0);
    if (kept >= best - kKeepMargin * w) {
      cutA = keptA;
      cutB = keptB;
    }
  }
  cutAfter_[0] = order[cutA]->id;
  cutAfter_[1] = cutB >= 0 ? order[cutB]->id : -1;
  std::vector<std::vector<const LayoutPerson*>> groups(2);
  if (!circular) {
    for (int i = 0; i < n; ++i) groups[i <= cutA ? 0 : 1].push_back(order[i]);
    return groups;
  }
  const int a = std::min(cutA, cutB);
  const int b = std::max(cutA, cutB);
  // People a+1..b form one arc, the rest (across the seam) the other.
  for (int i = 0; i < n; ++i) groups[(i > a && i <= b) ? 1 : 0].push_back(order[i]);
  // The arc across the seam keeps its people in order of position along the arc.
  std::stable_sort(groups[0].begin(), groups[0].end(),
                   [&](const LayoutPerson* x, const LayoutPerson* y) {
                     const auto along = [&](const LayoutPerson* p) {
                       const double c = context.displayCentre(*p);
                       return c > context.displayCentre(*order[b]) ? c - w : c;
                     };
                     return along(x) < along(y);
                   });
  // The group whose middle is further left in the view goes first.
  const auto middle = [&](const std::vector<const LayoutPerson*>& g) {
    const Span s = context.groupSpan(g);
    return Framing::wrap(s.start + s.length * 0.5, w);
  };
  if (middle(groups[1]) < middle(groups[0])) std::swap(groups[0], groups[1]);
  return groups;
}

void GroupPlanner::plan(const PlanContext& context, std::vector<LayoutTile>& tiles) {
  const double ow = context.geometry.outputWidth;
  const double oh = context.geometry.outputHeight;
  if (context.people.empty()) {
    context.panoramaTiles(tiles);
    return;
  }
  auto groups = split(context);
  const double halfW = std::round(ow / 2);
  const double halfH = std::round(oh / 2);
  const double sideAspect = halfW / oh;
  const double stackAspect = ow / halfH;
  const double w = context.geometry.videoWidth;
  const double h = context.geometry.videoHeight;
  bool stack = false;
  if (groups.size() == 2 && !groups[1].empty()) {
    // A group's crop holds its people whole and none of the other group's: it fits between the
    // other group's people on either side, and at the tile's aspect it is tall enough for them.
    Span spans[2];
    double tall[2];
    for (int i = 0; i < 2; ++i) {
      spans[i] = context.groupSpan(groups[i]);
      double top = h;
      double bottom = 0;
      for (const LayoutPerson* p : groups[i]) {
        top = std::min<double>(top, p->box.y);
        bottom = std::max<double>(bottom, p->box.y + p->box.height);
      }
      tall[i] = bottom - top;
    }
    const auto room = [&](int i) {
      const Span& other = spans[1 - i];
      if (context.geometry.is360) return w - other.length;
      return i == 0 ? other.start : w - other.end();
    };
    const auto fits = [&](double aspect, double slack) {
      for (int i = 0; i < 2; ++i) {
        const double widest = std::min(h * aspect, w) * slack;
        if (spans[i].length > widest || tall[i] * aspect > std::min(room(i), widest)) {
          return false;
        }
      }
      return true;
    };
    // Side by side while both groups fit a half; stacked when one does not (arrangements switch
    // only once a group clearly fits or clearly does not); one group when neither way works.
    if (fits(sideAspect, stacked_ ? kStackHysteresis : 1.0)) {
      stack = false;
    } else if (fits(stackAspect, 1.0)) {
      stack = true;
    } else {
      groups[0].insert(groups[0].end(), groups[1].begin(), groups[1].end());
      groups.resize(1);
    }
  }
  if (groups.size() < 2 || groups[1].empty()) {
    LayoutTile t;
    t.key = slotTileKey(10);
    t.layer = TileLayer::Scene;
    t.dst = makeRect(0, 0, ow, oh);
    if (!context.groupFits(groups[0], t.aspect())) {
      context.panoramaTiles(tiles);
      return;
    }
    t.target = context.groupShot(groups[0], t.aspect());
    PlanContext::fenceGroup(t, groups[0]);
    tiles.push_back(std::move(t));
    return;
  }
  stacked_ = stack;
  for (int i = 0; i < 2; ++i) {
    LayoutTile t;
    t.key = slotTileKey(11 + i);
    t.layer = TileLayer::Scene;
    t.dst = stack ? makeRect(0, i * halfH, ow, i == 0 ? halfH : oh - halfH)
                  : makeRect(i * halfW, 0, i == 0 ? halfW : ow - halfW, oh);
    t.id = groups[i].size() == 1 ? groups[i][0]->id : -1;
    t.target = context.groupShot(groups[i], t.aspect());
    // Each person belongs to one group: a group's crop keeps the other group's people out.
    PlanContext::fenceGroup(t, groups[i], true);
    for (const LayoutPerson* p : groups[i]) {
      t.speaking = t.speaking || p->highlighted;
      t.tracked = t.tracked || p->tracked;
    }
    tiles.push_back(std::move(t));
  }
}

}  // namespace selvo
