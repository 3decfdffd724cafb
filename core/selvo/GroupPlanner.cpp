#include "GroupPlanner.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace selvo {

namespace {

// The arrangement in use stays until the other shows people this much larger.
constexpr double kSwitchGain = 1.15;

}  // namespace

void GroupPlanner::plan(const PlanContext& context, std::vector<LayoutTile>& tiles) {
  const double ow = context.geometry.outputWidth;
  const double oh = context.geometry.outputHeight;
  if (context.people.empty()) {
    starts_.clear();
    context.panoramaTiles(tiles);
    return;
  }
  const std::vector<const LayoutPerson*> everyone = context.byPosition();
  partition_.build(context, everyone);
  const double halfW = std::round(ow / 2);
  const double halfH = std::round(oh / 2);
  const rect sides[2] = {makeRect(0, 0, halfW, oh), makeRect(halfW, 0, ow - halfW, oh)};
  const rect stack[2] = {makeRect(0, 0, ow, halfH), makeRect(0, halfH, ow, oh - halfH)};
  // How large the smaller of the two groups is shown: output rows per source row.
  const auto scale = [&](const std::vector<RoomPartition::Group>& groups, const rect* dst) {
    double s = 1e18;
    for (int i = 0; i < 2; ++i) {
      const double aspect = dst[i].width / dst[i].height;
      const double h = context.groupShot(groups[static_cast<size_t>(i)], aspect).h;
      if (h > 0) s = std::min(s, dst[i].height / h);
    }
    return s;
  };
  std::vector<RoomPartition::Group> groups;
  const rect* dst = nullptr;
  if (partition_.units() >= 2) {
    auto side = partition_.divide(2, sides[0].width / sides[0].height, starts_);
    auto stacked = partition_.divide(2, stack[0].width / stack[0].height, starts_);
    if (!side.empty() && !stacked.empty()) {
      const double a = scale(side, sides);
      const double b = scale(stacked, stack);
      stacked_ = stacked_ ? a <= b * kSwitchGain : b > a * kSwitchGain;
    } else {
      stacked_ = side.empty();
    }
    groups = stacked_ ? std::move(stacked) : std::move(side);
    dst = stacked_ ? stack : sides;
  }
  if (groups.size() != 2) {
    // No two groups that each fit a half whole and alone: everyone in one shot, or the panorama.
    starts_.clear();
    stacked_ = false;
    LayoutTile t;
    t.key = slotTileKey(10);
    t.layer = TileLayer::Scene;
    t.dst = makeRect(0, 0, ow, oh);
    if (!context.groupFits(everyone, t.aspect())) {
      context.panoramaTiles(tiles);
      return;
    }
    t.target = context.groupShot(everyone, t.aspect());
    PlanContext::fenceGroup(t, everyone);
    tiles.push_back(std::move(t));
    return;
  }
  if (context.geometry.is360 && !starts_.empty()) RoomPartition::keepFirst(groups, starts_[0]);
  starts_.clear();
  for (int i = 0; i < 2; ++i) {
    const RoomPartition::Group& g = groups[static_cast<size_t>(i)];
    starts_.push_back(g.front()->id);
    LayoutTile t;
    t.key = slotTileKey(11 + i);
    t.layer = TileLayer::Scene;
    t.dst = dst[i];
    t.id = g.size() == 1 ? g[0]->id : -1;
    t.target = context.groupShot(g, t.aspect());
    // Each person belongs to one group: a group's crop keeps the other group's people out.
    PlanContext::fenceGroup(t, g, true);
    for (const LayoutPerson* p : g) {
      t.speaking = t.speaking || p->highlighted;
      t.tracked = t.tracked || p->tracked;
    }
    tiles.push_back(std::move(t));
  }
}

}  // namespace selvo
