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

std::vector<double> GridPlanner::rowShares(const PlanContext& context,
                                           const std::vector<Group>& groups, const rect& area,
                                           double& top) {
  top = area.y;
  const size_t n = groups.size();
  const std::vector<double> even(n, 1.0 / static_cast<double>(std::max<size_t>(n, 1)));
  if (!context.autoMerge || n == 0 || area.width <= 0 || area.height <= 0) return even;
  const double bottom = area.y + area.height;
  const auto fitsAt = [&](const Group& g, double aspect) {
    return std::fabs(partition_.shape(g, aspect) - aspect) <= aspect * 0.001;
  };
  std::vector<int> starts;
  for (const Group& g : groups) starts.push_back(g.front()->id);
  if (starts == shareStarts_ && shares_.size() == n && heldTop_ >= area.y && heldTop_ < bottom) {
    const double total = area.width / (bottom - heldTop_);
    bool hold = true;
    for (size_t i = 0; i < n && hold; ++i) hold = fitsAt(groups[i], shares_[i] * total);
    if (hold) {
      top = heldTop_;
      return shares_;
    }
  }
  shareStarts_ = starts;
  heldTop_ = area.y;
  const double total = area.width / area.height;
  const double slot = total / static_cast<double>(n);
  bool wider = false;
  for (const Group& g : groups) wider = wider || partition_.shape(g, slot) > slot * 1.001;
  shares_ = evenOrNeeded(groups, total, even);
  if (wider && shares_ == even) {
    // The row is too short for everyone side by side at the full height: it gets as low as
    // frames them all so, and the band above takes the height it leaves.
    double need = 0;
    for (const Group& g : groups) need += partition_.narrowest(g, false, slot);
    const double rowHeight = std::floor(area.width / need);
    if (rowHeight > 0 && rowHeight < area.height) {
      heldTop_ = bottom - rowHeight;
      shares_ = evenOrNeeded(groups, area.width / rowHeight, even);
    }
  }
  top = heldTop_;
  return shares_;
}

std::vector<double> GridPlanner::evenOrNeeded(const std::vector<Group>& groups, double total,
                                              const std::vector<double>& even) const {
  const size_t n = groups.size();
  // Aspects at the row's height: the even slot and what each run takes at it.
  const double slot = total / static_cast<double>(n);
  std::vector<double> want(n);
  bool wider = false;
  for (size_t i = 0; i < n; ++i) {
    want[i] = partition_.shape(groups[i], slot);
    wider = wider || want[i] > slot * 1.001;
  }
  if (!wider) return even;
  // The runs too wide for their slot take the width they need from the others, each of which
  // keeps at least what frames its people's whole boxes alone, or failing that their cores;
  // the rest is shared as evenly as that allows.
  for (const bool coresOnly : {false, true}) {
    std::vector<double> aspect(n, 0.0);
    std::vector<bool> fixed(n, false);
    double given = 0;
    for (size_t i = 0; i < n; ++i) {
      if (want[i] <= slot * 1.001) continue;
      fixed[i] = true;
      aspect[i] = want[i];
      given += want[i];
    }
    bool possible = true;
    for (bool settled = false; possible && !settled;) {
      settled = true;
      size_t open = 0;
      for (size_t i = 0; i < n; ++i) open += fixed[i] ? 0 : 1;
      const double rest = total - given;
      possible = open > 0 && rest > 0;
      if (!possible) break;
      const double level = rest / static_cast<double>(open);
      for (size_t i = 0; i < n; ++i) {
        if (fixed[i]) continue;
        const double least = std::min(slot, partition_.narrowest(groups[i], coresOnly, slot));
        aspect[i] = std::max(level, least);
        if (least > level * 1.001) {
          fixed[i] = true;
          given += least;
          settled = false;
        }
      }
    }
    if (!possible) continue;
    double sum = 0;
    for (size_t i = 0; i < n && possible; ++i) {
      sum += aspect[i];
      possible = std::fabs(partition_.shape(groups[i], aspect[i]) - aspect[i]) <= aspect[i] * 0.001;
    }
    if (!possible || sum > total * 1.0001) continue;
    std::vector<double> shares(n);
    for (size_t i = 0; i < n; ++i) shares[i] = aspect[i] / sum;
    return shares;
  }
  return even;
}

void GridPlanner::emit(const PlanContext& context, const std::vector<Group>& groups,
                       const rect& area, bool row, std::vector<LayoutTile>& tiles,
                       const std::vector<double>& shares) const {
  const int n = static_cast<int>(groups.size());
  std::vector<double> edges(1, 0.0);
  for (int i = 0; i < n; ++i) {
    const size_t k = static_cast<size_t>(i);
    edges.push_back(edges.back() + (k < shares.size() ? shares[k] : 1.0 / n));
  }
  for (int i = 0; i < n; ++i) {
    rect dst;
    if (row) {
      const double left = std::round(area.x + area.width * edges[static_cast<size_t>(i)]);
      const double right = i + 1 == n ? area.x + area.width
                                      : std::round(area.x + area.width *
                                                             edges[static_cast<size_t>(i) + 1]);
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
  // Side by side, a run framed whole at the full height may need a wider tile than an even part
  // of the row: shown smaller in an even slot it would leave black bars in the output.
  double top = band;
  const std::vector<double> shares = rowShares(context, groups, area, top);
  tiles.push_back(context.bandTile(makeRect(0, 0, ow, top)));
  emit(context, groups, makeRect(0, top, ow, oh - top), true, tiles, shares);
}

}  // namespace selvo
