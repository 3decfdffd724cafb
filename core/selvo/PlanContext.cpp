#include "PlanContext.h"

#include <algorithm>
#include <cmath>

namespace selvo {

rect makeRect(double x, double y, double w, double h, int id) {
  rect r;
  r.x = static_cast<float>(x);
  r.y = static_cast<float>(y);
  r.width = static_cast<float>(w);
  r.height = static_cast<float>(h);
  r.id = id;
  return r;
}

FramingLimits PlanContext::limits(double marginX) const {
  FramingLimits l;
  l.width = geometry.videoWidth;
  l.height = geometry.videoHeight;
  l.circular = geometry.is360;
  l.minHeight = tuning.minSrcHeightScale * geometry.videoHeight;
  l.marginX = marginX;
  return l;
}

CropPose PlanContext::personShot(const LayoutPerson& person, double aspect,
                                 double minHeight) const {
  FramingLimits l = limits();
  l.minHeight = std::max(l.minHeight, minHeight);
  return Framing::frame(person.box, aspect, l);
}

Span PlanContext::groupSpan(const std::vector<const LayoutPerson*>& group) const {
  std::vector<Span> spans;
  spans.reserve(group.size());
  for (const LayoutPerson* p : group) spans.push_back({p->box.x, p->box.width});
  return Framing::cover(spans, geometry.videoWidth, geometry.is360);
}

CropPose PlanContext::groupShot(const std::vector<const LayoutPerson*>& group, double aspect,
                                double marginX) const {
  if (group.empty()) return {};
  const Span span = groupSpan(group);
  double top = group[0]->box.y;
  double bottom = group[0]->box.y + group[0]->box.height;
  for (const LayoutPerson* p : group) {
    top = std::min<double>(top, p->box.y);
    bottom = std::max<double>(bottom, p->box.y + p->box.height);
  }
  return Framing::frame(span.start, span.end(), top, bottom, aspect, limits(marginX));
}

bool PlanContext::groupFits(const std::vector<const LayoutPerson*>& group, double aspect,
                            double marginX) const {
  if (group.empty()) return true;
  const Span span = groupSpan(group);
  const double widest = std::min<double>(geometry.videoHeight * aspect, geometry.videoWidth);
  return span.length + 2 * marginX <= widest;
}

Body PlanContext::bodyOf(const LayoutPerson& person) const {
  return Framing::body(person.box, geometry.videoWidth, geometry.is360);
}

double PlanContext::displayCentre(const LayoutPerson& person) const {
  const double c = person.centerX();
  return geometry.is360 ? Framing::wrap(c, geometry.videoWidth) : c;
}

std::vector<const LayoutPerson*> PlanContext::byPosition() const {
  std::vector<const LayoutPerson*> order;
  order.reserve(people.size());
  for (const LayoutPerson& p : people) order.push_back(&p);
  std::stable_sort(order.begin(), order.end(), [&](const LayoutPerson* a, const LayoutPerson* b) {
    const double ca = displayCentre(*a);
    const double cb = displayCentre(*b);
    return ca != cb ? ca < cb : a->id < b->id;
  });
  return order;
}

std::vector<const LayoutPerson*> PlanContext::choose(int n) const {
  std::vector<const LayoutPerson*> ranked;
  ranked.reserve(people.size());
  for (const LayoutPerson& p : people) ranked.push_back(&p);
  const auto rank = [](const LayoutPerson* p) {
    if (p->pinRank >= 0) return p->pinRank;
    if (p->activeSpeaker) return 1000;
    if (p->highlighted) return 1001;
    if (p->tracked) return 1002;
    return 1003;
  };
  std::stable_sort(ranked.begin(), ranked.end(),
                   [&](const LayoutPerson* a, const LayoutPerson* b) { return rank(a) < rank(b); });
  if (static_cast<int>(ranked.size()) > n) ranked.resize(std::max(0, n));
  std::stable_sort(ranked.begin(), ranked.end(), [&](const LayoutPerson* a, const LayoutPerson* b) {
    const double ca = displayCentre(*a);
    const double cb = displayCentre(*b);
    return ca != cb ? ca < cb : a->id < b->id;
  });
  return ranked;
}

const LayoutPerson* PlanContext::find(int id) const {
  if (id == -1) return nullptr;
  for (const LayoutPerson& p : people) {
    if (p.id == id) return &p;
  }
  return nullptr;
}

double PlanContext::peopleCentreY() const {
  if (people.empty()) return geometry.videoHeight * 0.5;
  double sum = 0;
  for (const LayoutPerson& p : people) sum += p.box.y + p.box.height * 0.5;
  return sum / static_cast<double>(people.size());
}

void PlanContext::panoramaTiles(std::vector<LayoutTile>& tiles) const {
  const double ow = geometry.outputWidth;
  const double oh = geometry.outputHeight;
  const double w = geometry.videoWidth;
  const double h = geometry.videoHeight;
  if (w <= 0 || h <= 0) return;
  double dw = ow;
  double dh = std::round(ow * h / w / 2.0) * 2.0;
  if (dh > oh) {
    dh = oh;
    dw = std::round(oh * w / h / 2.0) * 2.0;
  }
  LayoutTile t;
  t.key = slotTileKey(20);
  t.layer = TileLayer::Scene;
  t.dst = makeRect(std::round((ow - dw) * 0.5), std::round((oh - dh) * 0.5), dw, dh);
  t.direct = true;  // a turned panorama cuts, it does not pan round the room
  t.target = Framing::fit(geometry.is360 ? panoramaTurn : 0, w, 0, h, t.aspect());
  tiles.push_back(t);
}

LayoutTile PlanContext::bandTile(const rect& dst) const {
  LayoutTile t;
  t.key = slotTileKey(21);
  t.layer = TileLayer::Scene;
  t.dst = dst;
  const double w = geometry.videoWidth;
  const double aspect = t.aspect();
  if (geometry.is360) {
    t.target = Framing::fit(0, w, 0, geometry.videoHeight, aspect);
    t.target.cy = peopleCentreY();
  } else {
    // The banner where the user placed it.
    t.target = Framing::fit(0, w, geometry.bannerY, geometry.bannerHeight(), aspect);
  }
  // Its edges pass above and below everyone's face where the band is tall enough, else where
  // they leave out least.
  std::vector<Body> cores;
  cores.reserve(people.size());
  for (const LayoutPerson& p : people) cores.push_back(bodyOf(p).core());
  t.target.cy = Framing::bandCentre(cores, t.target.h, geometry.videoHeight, t.target.cy);
  t.target = Framing::clamp(t.target, aspect, limits());
  return t;
}

LayoutTile PlanContext::fixedTile(const rect& source, const rect& dst, uint32_t key) const {
  LayoutTile t;
  t.key = key;
  t.layer = TileLayer::Scene;
  t.id = source.id;
  t.dst = dst;
  t.direct = true;
  const double aspect = t.aspect();
  CropPose pose;
  pose.h = std::max<double>(source.height, source.width / aspect);
  pose.cx = source.x + source.width * 0.5;
  pose.cy = source.y + source.height * 0.5;
  t.target = Framing::clamp(pose, aspect, limits());
  return t;
}

LayoutTile PlanContext::personTile(const LayoutPerson& person, const rect& dst,
                                   double minHeight) const {
  LayoutTile t;
  t.key = personTileKey(person.id);
  t.layer = TileLayer::Person;
  t.id = person.id;
  t.dst = dst;
  t.tracked = person.tracked;
  t.speaking = person.highlighted;
  t.target = personShot(person, t.aspect(), minHeight);
  t.fence = TileFence::Whole;
  return t;
}

void PlanContext::fenceGroup(LayoutTile& tile, const std::vector<const LayoutPerson*>& group,
                             bool only) {
  tile.fence = only ? TileFence::Only : TileFence::Whole;
  tile.members.clear();
  tile.members.reserve(group.size());
  for (const LayoutPerson* p : group) tile.members.push_back(p->id);
}

}  // namespace selvo
