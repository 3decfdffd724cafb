#include "RoomPartition.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "Framing.h"

namespace selvo {

namespace {

constexpr double kFar = 1e18;
// A crop's edges keep this much clear of the cores either side.
constexpr double kClear = 1.0;
// A run that did not begin with the same person last frame costs this much more, so people
// sitting at even distances do not hop between tiles.
constexpr double kNewRunCost = 1.2;
// Source pixels a reshaped crop keeps in hand for the rounding of its tile.
constexpr double kShapeSlack = 8.0;

}  // namespace

void RoomPartition::build(const PlanContext& context,
                          const std::vector<const LayoutPerson*>& people) {
  clusters_.clear();
  members_ = 0;
  width_ = context.geometry.videoWidth;
  height_ = context.geometry.videoHeight;
  circular_ = context.geometry.is360;
  minHeight_ = context.tuning.minSrcHeightScale * height_;
  if (width_ <= 0 || height_ <= 0) return;
  const auto add = [&](const Body& body, const LayoutPerson* person) {
    const Body core = body.core();
    // On the circle every body sits at the turn that holds its centre.
    double shift = 0;
    if (circular_) {
      const double centre = (body.x0 + body.x1) * 0.5;
      shift = Framing::wrap(centre, width_) - centre;
    }
    Cluster c{core.x0 + shift, core.x1 + shift, core.y0, core.y1,           body.x0 + shift,
              body.x1 + shift, body.y0,         body.y1, person == nullptr, {}};
    if (person) c.people.push_back(person);
    clusters_.push_back(std::move(c));
  };
  for (const LayoutPerson* p : people) add(context.bodyOf(*p), p);
  for (const Body& b : context.waiting) add(b, nullptr);
  std::sort(clusters_.begin(), clusters_.end(), [](const Cluster& a, const Cluster& b) {
    if (a.x0 != b.x0) return a.x0 < b.x0;
    if (a.x1 != b.x1) return a.x1 < b.x1;
    const int ia = a.people.empty() ? -1 : a.people[0]->id;
    const int ib = b.people.empty() ? -1 : b.people[0]->id;
    return ia < ib;
  });
  const auto merge = [](Cluster& into, const Cluster& next, double shift) {
    into.x0 = std::min(into.x0, next.x0 + shift);
    into.x1 = std::max(into.x1, next.x1 + shift);
    into.y0 = std::min(into.y0, next.y0);
    into.y1 = std::max(into.y1, next.y1);
    into.boxX0 = std::min(into.boxX0, next.boxX0 + shift);
    into.boxX1 = std::max(into.boxX1, next.boxX1 + shift);
    into.boxY0 = std::min(into.boxY0, next.boxY0);
    into.boxY1 = std::max(into.boxY1, next.boxY1);
    into.blocker = into.blocker && next.blocker;
  };
  size_t n = 0;
  for (size_t i = 1; i < clusters_.size(); ++i) {
    Cluster& last = clusters_[n];
    Cluster& next = clusters_[i];
    if (next.x0 < last.x1) {
      merge(last, next, 0);
      last.people.insert(last.people.end(), next.people.begin(), next.people.end());
    } else if (++n != i) {
      clusters_[n] = std::move(next);
    }
  }
  if (!clusters_.empty()) clusters_.resize(n + 1);
  // Across the seam: the last cluster reaching past the first one's start a turn on.
  while (circular_ && clusters_.size() > 1 && clusters_.back().x1 > clusters_.front().x0 + width_) {
    Cluster last = std::move(clusters_.back());
    clusters_.pop_back();
    Cluster& first = clusters_.front();
    merge(first, last, -width_);
    last.people.insert(last.people.end(), first.people.begin(), first.people.end());
    first.people = std::move(last.people);
  }
  for (const Cluster& c : clusters_) members_ += c.blocker ? 0 : 1;
}

const RoomPartition::Cluster& RoomPartition::at(int start, int i) const {
  const int n = static_cast<int>(clusters_.size());
  return clusters_[static_cast<size_t>((start + i) % n)];
}

double RoomPartition::shift(int start, int i) const {
  return start + i >= static_cast<int>(clusters_.size()) ? width_ : 0.0;
}

bool RoomPartition::measure(int start, int first, int last, double aspect, double& cost,
                            bool reshape, double* shape, bool coresOnly) const {
  const int n = static_cast<int>(clusters_.size());
  double x0 = kFar, x1 = -kFar, y0 = kFar, y1 = -kFar;
  double bx0 = kFar, bx1 = -kFar, by0 = kFar, by1 = -kFar;
  for (int i = first; i <= last; ++i) {
    const Cluster& c = at(start, i);
    if (c.blocker) return false;
    const double s = shift(start, i);
    x0 = std::min(x0, c.x0 + s);
    x1 = std::max(x1, c.x1 + s);
    y0 = std::min(y0, c.y0);
    y1 = std::max(y1, c.y1);
    bx0 = std::min(bx0, c.boxX0 + s);
    bx1 = std::max(bx1, c.boxX1 + s);
    by0 = std::min(by0, c.boxY0);
    by1 = std::max(by1, c.boxY1);
  }
  double lo, hi;
  if (first > 0) {
    lo = at(start, first - 1).x1 + shift(start, first - 1);
  } else {
    lo = circular_ ? at(start, n - 1).x1 + shift(start, n - 1) - width_ : 0.0;
  }
  if (last < n - 1) {
    hi = at(start, last + 1).x0 + shift(start, last + 1);
  } else {
    hi = circular_ ? at(start, 0).x0 + width_ : width_;
  }
  // Crops of width w in [span, room] and height h in [tall, frame height] frame the run alone.
  const double span = x1 - x0;
  const double tall = std::max(y1 - y0, 1.0);
  const double room = std::min(hi - lo - 2 * kClear, width_);
  if (span > room) return false;
  double a = aspect;
  if (span > height_ * aspect || tall * aspect > room) {
    if (!reshape) return false;
    // A little slack: the tile's shape is rounded to whole output pixels.
    const double widest = (room - kShapeSlack) / tall;
    const double narrowest = (span + kShapeSlack) / height_;
    if (narrowest > widest) return false;
    // Wide enough for the people's whole boxes where the gaps beside them allow.
    const double whole = std::min(bx1 - bx0 + kShapeSlack, room - kShapeSlack) / height_;
    a = std::clamp(aspect, coresOnly ? narrowest : std::max(narrowest, whole), widest);
  }
  if (shape) *shape = a;
  const double need = std::max(span, tall * a);
  const double shot = std::max({(bx1 - bx0) * Framing::kShotWidthFactor / a,
                                (by1 - by0) * Framing::kShotHeightFactor, minHeight_});
  const double h = std::clamp(shot, need / a, std::min(room / a, height_));
  // At the tile's scale: a wider crop is shown in a lower part of the tile, a narrower one in a
  // narrower part at the full height.
  const double equivalent = a > aspect ? h * a / aspect : h;
  cost = equivalent * equivalent;
  return true;
}

std::vector<RoomPartition::Group> RoomPartition::divide(int count, double aspect,
                                                        const std::vector<int>& previous,
                                                        bool reshape) const {
  const int n = static_cast<int>(clusters_.size());
  if (count <= 0 || count > members_ || aspect <= 0) return {};
  std::vector<int> starts;
  if (!circular_) {
    starts.push_back(0);
  } else {
    for (int i = 0; i < n; ++i) {
      if (clusters_[static_cast<size_t>(i)].blocker) {
        starts.assign(1, (i + 1) % n);
        break;
      }
      starts.push_back(i);
    }
  }
  const auto began = [&](const Cluster& c) {
    return std::find(previous.begin(), previous.end(), c.people.front()->id) != previous.end();
  };
  std::vector<double> table(static_cast<size_t>(n * n));
  std::vector<double> dp(static_cast<size_t>((count + 1) * (n + 1)));
  std::vector<int> from(dp.size());
  const auto cell = [&](int k, int t) { return static_cast<size_t>(k * (n + 1) + t); };
  double bestCost = kFar;
  int bestStart = -1;
  std::vector<std::pair<int, int>> bestRuns;
  for (int start : starts) {
    // The cost of every run [t, u] of this order, kFar where no crop frames it alone.
    for (int t = 0; t < n; ++t) {
      const bool again = !at(start, t).blocker && began(at(start, t));
      for (int u = 0; u < n; ++u) {
        double c = kFar;
        if (u >= t && measure(start, t, u, aspect, c, reshape) && !again) c *= kNewRunCost;
        table[static_cast<size_t>(t * n + u)] = c;
      }
    }
    std::fill(dp.begin(), dp.end(), kFar);
    dp[cell(0, 0)] = 0;
    for (int t = 0; t < n; ++t) {
      for (int k = 0; k <= count; ++k) {
        const double here = dp[cell(k, t)];
        if (here >= kFar) continue;
        if (at(start, t).blocker) {
          if (here < dp[cell(k, t + 1)]) {
            dp[cell(k, t + 1)] = here;
            from[cell(k, t + 1)] = -1;
          }
          continue;
        }
        if (k == count) continue;
        for (int u = t; u < n; ++u) {
          const double c = table[static_cast<size_t>(t * n + u)];
          if (c >= kFar) continue;
          if (here + c < dp[cell(k + 1, u + 1)]) {
            dp[cell(k + 1, u + 1)] = here + c;
            from[cell(k + 1, u + 1)] = t;
          }
        }
      }
    }
    const double total = dp[cell(count, n)];
    if (total < bestCost) {
      bestCost = total;
      bestStart = start;
      bestRuns.clear();
      for (int k = count, t = n; t > 0;) {
        const int f = from[cell(k, t)];
        if (f < 0) {
          --t;
          continue;
        }
        bestRuns.emplace_back(f, t - 1);
        t = f;
        --k;
      }
    }
  }
  if (bestStart < 0) return {};
  struct Run {
    double middle;
    Group people;
  };
  std::vector<Run> runs;
  for (const auto& [first, last] : bestRuns) {
    Run r;
    const double x0 = at(bestStart, first).x0 + shift(bestStart, first);
    const double x1 = at(bestStart, last).x1 + shift(bestStart, last);
    r.middle = circular_ ? Framing::wrap((x0 + x1) * 0.5, width_) : (x0 + x1) * 0.5;
    for (int i = first; i <= last; ++i) {
      const Group& g = at(bestStart, i).people;
      r.people.insert(r.people.end(), g.begin(), g.end());
    }
    runs.push_back(std::move(r));
  }
  std::sort(runs.begin(), runs.end(),
            [](const Run& a, const Run& b) { return a.middle < b.middle; });
  std::vector<Group> out;
  out.reserve(runs.size());
  for (Run& r : runs) out.push_back(std::move(r.people));
  return out;
}

bool RoomPartition::locate(const Group& group, int& start, int& first, int& last) const {
  const int n = static_cast<int>(clusters_.size());
  if (group.empty() || n == 0) return false;
  std::vector<bool> in(static_cast<size_t>(n), false);
  size_t count = 0;
  for (int i = 0; i < n; ++i) {
    const Group& people = clusters_[static_cast<size_t>(i)].people;
    size_t mine = 0;
    for (const LayoutPerson* p : people) {
      mine += std::find(group.begin(), group.end(), p) != group.end() ? 1 : 0;
    }
    if (mine == 0) continue;
    // Someone overlapping the group's cores but not in it would be cut.
    if (mine != people.size()) return false;
    in[static_cast<size_t>(i)] = true;
    count += mine;
  }
  if (count != group.size()) return false;
  int begin = -1;
  for (int i = 0; i < n && begin < 0; ++i) {
    const bool before = circular_ ? in[static_cast<size_t>((i + n - 1) % n)]
                                  : i > 0 && in[static_cast<size_t>(i - 1)];
    if (in[static_cast<size_t>(i)] && !before) begin = i;
  }
  if (begin < 0) begin = 0;  // the whole circle
  int end = begin;
  while (end + 1 < begin + n && in[static_cast<size_t>((end + 1) % n)]) ++end;
  for (int i = end + 1; i < begin + n; ++i) {
    if (in[static_cast<size_t>(i % n)]) return false;  // not one run
  }
  // A linear order is read from the picture's left edge, never rotated.
  start = circular_ ? begin : 0;
  first = circular_ ? 0 : begin;
  last = circular_ ? end - begin : end;
  return true;
}

void RoomPartition::keepFirst(std::vector<Group>& groups, int first) {
  for (size_t i = 1; i < groups.size(); ++i) {
    for (const LayoutPerson* p : groups[i]) {
      if (p->id != first) continue;
      std::rotate(groups.begin(), groups.begin() + static_cast<std::ptrdiff_t>(i), groups.end());
      return;
    }
  }
}

bool RoomPartition::fits(const Group& group, double aspect) const {
  if (group.empty() || clusters_.empty()) return true;
  int start = 0, first = 0, last = 0;
  double cost = 0;
  return locate(group, start, first, last) && measure(start, first, last, aspect, cost);
}

bool RoomPartition::fitsReshaped(const Group& group, double aspect) const {
  int start = 0, first = 0, last = 0;
  double cost = 0;
  return locate(group, start, first, last) && measure(start, first, last, aspect, cost, true);
}

double RoomPartition::shape(const Group& group, double aspect) const {
  int start = 0, first = 0, last = 0;
  double cost = 0;
  double a = aspect;
  if (!locate(group, start, first, last) || !measure(start, first, last, aspect, cost, true, &a)) {
    return aspect;
  }
  return a;
}

double RoomPartition::narrowest(const Group& group, bool coresOnly, double fallback) const {
  int start = 0, first = 0, last = 0;
  double cost = 0;
  double a = fallback;
  constexpr double kThinnest = 1e-4;
  if (!locate(group, start, first, last) ||
      !measure(start, first, last, kThinnest, cost, true, &a, coresOnly)) {
    return fallback;
  }
  return a;
}

}  // namespace selvo
