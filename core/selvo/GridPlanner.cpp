#include "GridPlanner.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

namespace selvo {

namespace {

// Neighbours share a tile once separate tiles would show mostly the same picture.
constexpr double kMergeOverlap = 0.60;
constexpr double kSplitOverlap = 0.45;

double gridAspect(int n, const rect& area) {
  const auto [cols, rows] = GridPlanner::gridShape(std::max(1, n));
  return (area.width / cols) / (area.height / rows);
}

double rowAspect(int n, const rect& area) { return (area.width / std::max(1, n)) / area.height; }

// The part of the smaller shot that the other covers.
double overlap(const CropPose& a, const CropPose& b, double aspect, const PlanContext& context) {
  const double wa = a.h * aspect;
  const double wb = b.h * aspect;
  const double dx =
      std::fabs(Framing::delta(a.cx, b.cx, context.geometry.videoWidth, context.geometry.is360));
  const double ox = std::max(0.0, (wa + wb) * 0.5 - dx);
  const double oy = std::max(0.0, std::min(a.cy + a.h * 0.5, b.cy + b.h * 0.5) -
                                      std::max(a.cy - a.h * 0.5, b.cy - b.h * 0.5));
  const double smaller = std::min(wa * a.h, wb * b.h);
  return smaller > 0 ? std::min(ox, std::min(wa, wb)) * oy / smaller : 0.0;
}

// Neighbours whose boxes overlap side by side: no edge can pass between them, so a tile of one
// shows the other as well.
bool touching(const LayoutPerson& a, const LayoutPerson& b, const PlanContext& context) {
  const double d = std::fabs(Framing::delta(a.centerX(), b.centerX(), context.geometry.videoWidth,
                                            context.geometry.is360));
  return d < (static_cast<double>(a.box.width) + b.box.width) * 0.5;
}

// The runs of touching neighbours in a left-to-right list of people.
template <typename Group>
std::vector<Group> runs(const Group& people, const PlanContext& context) {
  std::vector<Group> out;
  for (const auto* p : people) {
    if (out.empty() || !touching(*out.back().back(), *p, context)) out.emplace_back();
    out.back().push_back(p);
  }
  return out;
}

}  // namespace

std::pair<int, int> GridPlanner::gridShape(int n) {
  if (n <= 1) return {1, 1};
  if (n == 2) return {2, 1};
  if (n == 3) return {2, 2};
  if (n == 4) return {2, 2};
  if (n <= 6) return {3, 2};
  return {3, 3};
}

rect GridPlanner::cell(int i, int n, const rect& area) {
  const auto [cols, rows] = gridShape(n);
  const int row = i / cols;
  const int col = i % cols;
  const int inRow = std::min(cols, n - row * cols);
  const double cw = area.width / cols;
  const double ch = area.height / rows;
  const double x0 = area.x + (cols - inRow) * cw * 0.5;
  const double left = std::round(x0 + col * cw);
  const double right = std::round(x0 + (col + 1) * cw);
  const double top = std::round(area.y + row * ch);
  const double bottom = std::round(area.y + (row + 1) * ch);
  return makeRect(left, top, right - left, bottom - top);
}

std::vector<GridPlanner::Group> GridPlanner::groupPeople(const PlanContext& context,
                                                         std::vector<const LayoutPerson*> chosen,
                                                         double (*aspectFor)(int, const rect&),
                                                         const rect& area) {
  std::vector<Group> groups;
  std::vector<std::pair<int, int>> mergedNow;
  if (!context.autoMerge || chosen.size() < 2) {
    for (const LayoutPerson* p : chosen) groups.push_back({p});
  } else {
    // Touching neighbours always share a tile (apart, each tile would show them both); the
    // others merge where their shots overlap and the shared tile holds them whole.
    const std::vector<Group> units = runs(Group(chosen), context);
    const double aspect = aspectFor(static_cast<int>(chosen.size()), area);
    for (size_t u = 0; u < units.size(); ++u) {
      const Group& g = units[u];
      if (!groups.empty()) {
        Group& last = groups.back();
        const LayoutPerson* left = last.back();
        const LayoutPerson* right = g.front();
        const bool wasMerged = std::find(merged_.begin(), merged_.end(),
                                         std::make_pair(left->id, right->id)) != merged_.end();
        const double o = overlap(context.personShot(*left, aspect),
                                 context.personShot(*right, aspect), aspect, context);
        Group joined = last;
        joined.insert(joined.end(), g.begin(), g.end());
        // The tile's shape is that of the grid with this merge and without any further one.
        const int count = static_cast<int>(groups.size() + units.size() - u - 1);
        if (o > (wasMerged ? kSplitOverlap : kMergeOverlap) &&
            context.groupFits(joined, aspectFor(count, area))) {
          last = std::move(joined);
          continue;
        }
      }
      groups.push_back(g);
    }
    // Each merge was judged at the tile shape of its moment; at the final count a merged tile
    // must still hold its people whole, else it splits again into its runs of touching
    // neighbours (which may change the shape).
    for (bool split = true; split;) {
      split = false;
      const double finalAspect = aspectFor(static_cast<int>(groups.size()), area);
      for (size_t i = 0; i < groups.size() && !split; ++i) {
        if (context.groupFits(groups[i], finalAspect)) continue;
        std::vector<Group> apart = runs(groups[i], context);
        if (apart.size() < 2) continue;
        groups.erase(groups.begin() + static_cast<std::ptrdiff_t>(i));
        groups.insert(groups.begin() + static_cast<std::ptrdiff_t>(i), apart.begin(), apart.end());
        split = true;
      }
    }
    mergedNow.clear();
    for (const Group& g : groups) {
      for (size_t k = 1; k < g.size(); ++k) mergedNow.emplace_back(g[k - 1]->id, g[k]->id);
    }
  }
  merged_ = std::move(mergedNow);
  return groups;
}

std::vector<GridPlanner::Group> GridPlanner::arrange(const PlanContext& context, int maxTiles,
                                                     double (*aspectFor)(int, const rect&),
                                                     const rect& area) {
  if (!context.autoMerge) {
    starts_.clear();
    held_.clear();
    return groupPeople(context, context.choose(maxTiles), aspectFor, area);
  }
  const std::vector<const LayoutPerson*> everyone = context.byPosition();
  partition_.build(context, everyone);
  const auto remember = [&](std::vector<Group>& groups, bool hold) {
    if (context.geometry.is360 && !starts_.empty()) RoomPartition::keepFirst(groups, starts_[0]);
    starts_.clear();
    held_.clear();
    for (const Group& g : groups) {
      starts_.push_back(g.front()->id);
      if (!hold) continue;
      held_.emplace_back();
      for (const LayoutPerson* p : g) held_.back().push_back(p->id);
    }
  };
  // A division of the room holds while the same people are there and each tile still frames its
  // people alone, so people shifting in their seats do not move anyone to another tile.
  if (!held_.empty() && static_cast<int>(held_.size()) <= maxTiles) {
    std::vector<Group> kept;
    size_t seen = 0;
    const double aspect = aspectFor(static_cast<int>(held_.size()), area);
    for (const std::vector<int>& ids : held_) {
      Group g;
      for (int id : ids) {
        if (const LayoutPerson* p = context.find(id)) g.push_back(p);
      }
      if (g.size() != ids.size() || !partition_.fitsReshaped(g, aspect)) break;
      seen += g.size();
      kept.push_back(std::move(g));
    }
    if (kept.size() == held_.size() && seen == everyone.size()) {
      remember(kept, true);
      return kept;
    }
  }
  // A tile each, or shared by neighbours whose shots mostly overlap, while that holds everyone
  // whole and alone.
  std::vector<Group> groups = groupPeople(context, everyone, aspectFor, area);
  const int count = static_cast<int>(groups.size());
  if (count <= maxTiles) {
    const double aspect = aspectFor(count, area);
    const bool alone = std::all_of(groups.begin(), groups.end(),
                                   [&](const Group& g) { return partition_.fits(g, aspect); });
    if (alone) {
      remember(groups, false);
      return groups;
    }
  }
  // Neighbours share tiles: as many tiles as the room can be divided into, runs of people that
  // each fit a tile whole with nobody else in it.
  for (int k = std::min(maxTiles, partition_.units()); k >= 1; --k) {
    std::vector<Group> runs = partition_.divide(k, aspectFor(k, area), starts_, true);
    if (runs.empty()) continue;
    remember(runs, true);
    return runs;
  }
  starts_.clear();
  held_.clear();
  return {};
}

void GridPlanner::emit(const PlanContext& context, const std::vector<Group>& groups,
                       const rect& area, bool row, std::vector<LayoutTile>& tiles) const {
  const int n = static_cast<int>(groups.size());
  for (int i = 0; i < n; ++i) {
    rect dst;
    if (row) {
      const double left = std::round(area.x + area.width * i / n);
      const double right = std::round(area.x + area.width * (i + 1) / n);
      dst = makeRect(left, area.y, right - left, area.height);
    } else {
      dst = cell(i, n, area);
    }
    const Group& g = groups[i];
    if (context.autoMerge && dst.width > 0 && dst.height > 0) {
      // A run too wide for its tile at the frame's height is shown lower in it (or narrower,
      // when the gap beside it is too narrow for its height), centred, never cut.
      const double slot = dst.width / dst.height;
      const double shape = partition_.shape(g, slot);
      if (shape > slot * 1.001) {
        const double h = std::floor(dst.width / shape);
        dst = makeRect(dst.x, dst.y + std::round((dst.height - h) * 0.5), dst.width, h);
      } else if (shape < slot * 0.999) {
        const double w = std::floor(dst.height * shape);
        dst = makeRect(dst.x + std::round((dst.width - w) * 0.5), dst.y, w, dst.height);
      }
    }
    LayoutTile t = context.personTile(*g.front(), dst);
    // A cell among others: a neighbour it cannot leave out nor take in is cut at the side.
    t.cutAtSides = true;
    // With auto-merge everyone has a tile of their own: the others are kept out of this one.
    if (context.autoMerge) PlanContext::fenceGroup(t, g, true);
    if (g.size() > 1) {
      t.target = context.groupShot(g, t.aspect());
      PlanContext::fenceGroup(t, g, context.autoMerge);
      for (const LayoutPerson* p : g) {
        t.speaking = t.speaking || p->highlighted;
        t.tracked = t.tracked || p->tracked;
      }
    }
    for (const LayoutPerson* p : g) t.highlight = t.highlight || p->activeSpeaker;
    tiles.push_back(std::move(t));
  }
}

void GridPlanner::planGrid(const PlanContext& context, std::vector<LayoutTile>& tiles) {
  if (context.people.empty()) {
    merged_.clear();
    context.panoramaTiles(tiles);
    return;
  }
  const rect area = makeRect(0, 0, context.geometry.outputWidth, context.geometry.outputHeight);
  const int n = std::clamp(context.maxGridCount, 1, 9);
  const std::vector<Group> groups = arrange(context, n, gridAspect, area);
  if (groups.empty()) {
    context.panoramaTiles(tiles);
    return;
  }
  emit(context, groups, area, false, tiles);
  if (groups.size() < 2) {
    for (LayoutTile& t : tiles) t.highlight = false;
  }
}

void GridPlanner::planCompose(const PlanContext& context, std::vector<LayoutTile>& tiles) {
  if (context.people.empty()) {
    merged_.clear();
    context.panoramaTiles(tiles);
    return;
  }
  const double ow = context.geometry.outputWidth;
  const double oh = context.geometry.outputHeight;
  const double band = std::round(ow / 6.0 / 2.0) * 2.0;
  const rect area = makeRect(0, band, ow, oh - band);
  const int n = std::clamp(context.composeMaxCount, 1, 8);
  const std::vector<Group> groups = arrange(context, n, rowAspect, area);
  if (groups.empty()) {
    context.panoramaTiles(tiles);
    return;
  }
  tiles.push_back(context.bandTile(makeRect(0, 0, ow, band)));
  emit(context, groups, area, true, tiles);
}

}  // namespace selvo
