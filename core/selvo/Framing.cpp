#include "Framing.h"

#include <algorithm>
#include <cmath>

namespace selvo {

namespace {

// The subject's centre at 45 % from the shot's top.
constexpr double kCentreBelowMiddle = 0.05;

// An edge the fence places keeps this much room from a person's box where the gap allows, so
// people shifting a little in their seats do not run into it at once; crossing a box by less than
// kTouch is not cutting it.
constexpr double kRoom = 12.0;
constexpr double kTouch = 0.5;
// What a fenced crop pays per pixel: widening is cheap (the whole person comes in), sliding the
// crop costs more (the subject leaves the middle), narrowing most (the shot gets tight).
constexpr double kWidenCost = 0.4;
constexpr double kShiftCost = 1.0;
constexpr double kNarrowCost = 3.0;
constexpr double kFar = 1e9;
// A box's core: the middle of its width less a quarter either side, its top four fifths. A
// detected person's box is their head and shoulders grown for display (about three face widths
// wide, the face in the middle and a little above its centre); the core holds the face with the
// hair above it and some shoulder beside it.
constexpr double kCoreSide = 0.25;
constexpr double kCoreHeight = 0.8;

}  // namespace

Body Body::core() const {
  if (!hasCore()) return *this;
  Body b = *this;
  b.x0 = coreX0;
  b.x1 = coreX1;
  b.y0 = coreY0;
  b.y1 = coreY1;
  return b;
}

Body Framing::body(const rect& box, double frameWidth, bool circular) {
  Body b;
  b.x0 = box.x;
  b.x1 = static_cast<double>(box.x) + box.width;
  b.y0 = box.y;
  b.y1 = static_cast<double>(box.y) + box.height;
  const double quarter = box.width * kCoreSide;
  b.coreX0 = b.x0 + quarter;
  b.coreX1 = b.x1 - quarter;
  if (!circular) {
    if (b.x0 <= kTouch) b.coreX0 = b.x0;
    if (b.x1 >= frameWidth - kTouch) b.coreX1 = b.x1;
  }
  b.coreY0 = b.y0;
  b.coreY1 = b.y0 + box.height * kCoreHeight;
  return b;
}

double Framing::wrap(double x, double width) {
  if (width <= 0) return x;
  // Columns at most a turn away take one exact subtraction or addition (the same result as
  // fmod, which costs far more and is called for every person several times a frame).
  if (x >= 0 && x < width) return x;
  if (x >= width && x < 2 * width) return x - width;
  double r = std::fmod(x, width);
  if (r < 0) r += width;
  if (r >= width) r -= width;
  return r;
}

double Framing::delta(double a, double b, double width, bool circular) {
  double d = b - a;
  if (!circular || width <= 0) return d;
  d = wrap(d, width);
  if (d > width * 0.5) d -= width;
  return d;
}

CropPose Framing::clamp(CropPose pose, double aspect, const FramingLimits& limits) {
  const double w = limits.width;
  const double h = limits.height;
  if (aspect <= 0 || w <= 0 || h <= 0) return pose;
  pose.h = std::min(pose.h, h);
  if (pose.h * aspect > w) pose.h = w / aspect;
  pose.h = std::max(pose.h, 1.0);
  const double half = pose.h * 0.5;
  pose.cy = std::clamp(pose.cy, half, h - half);
  const double halfW = pose.h * aspect * 0.5;
  if (limits.circular) {
    pose.cx = wrap(pose.cx, w);
  } else {
    pose.cx = std::clamp(pose.cx, halfW, w - halfW);
  }
  return pose;
}

CropPose Framing::frame(double x0, double x1, double y0, double y1, double aspect,
                        const FramingLimits& limits) {
  CropPose pose;
  if (aspect <= 0) return pose;
  const double spanW = std::max(0.0, x1 - x0) * kShotWidthFactor + 2.0 * limits.marginX;
  const double spanH = std::max(0.0, y1 - y0);
  pose.h = std::max({spanH * kShotHeightFactor, spanW / aspect, limits.minHeight, 1.0});
  pose.cx = (x0 + x1) * 0.5;
  pose.cy = (y0 + y1) * 0.5 + kCentreBelowMiddle * pose.h;
  return clamp(pose, aspect, limits);
}

CropPose Framing::frame(const rect& subject, double aspect, const FramingLimits& limits) {
  return frame(subject.x, subject.x + subject.width, subject.y, subject.y + subject.height, aspect,
               limits);
}

Span Framing::cover(std::vector<Span> spans, double width, bool circular) {
  if (spans.empty()) return {};
  if (!circular) {
    double lo = spans[0].start;
    double hi = spans[0].end();
    for (const Span& s : spans) {
      lo = std::min(lo, s.start);
      hi = std::max(hi, s.end());
    }
    return {lo, hi - lo};
  }
  for (Span& s : spans) {
    s.start = wrap(s.start, width);
    s.length = std::min(s.length, width);
  }
  std::sort(spans.begin(), spans.end(),
            [](const Span& a, const Span& b) { return a.start < b.start; });
  double reach = spans[0].end();
  double bestGap = -1;
  double gapFrom = 0;
  double gapTo = 0;
  for (size_t i = 1; i < spans.size(); ++i) {
    if (spans[i].start > reach) {
      const double gap = spans[i].start - reach;
      if (gap > bestGap) {
        bestGap = gap;
        gapFrom = reach;
        gapTo = spans[i].start;
      }
    }
    reach = std::max(reach, spans[i].end());
  }
  const double wrapGap = spans[0].start + width - reach;
  if (wrapGap <= 0 && bestGap <= 0) return {0, width};
  if (wrapGap >= bestGap) return {spans[0].start, reach - spans[0].start};
  return {gapTo, gapFrom + width - gapTo};
}

CropPose Framing::fit(double x0, double width, double y0, double height, double aspect) {
  CropPose pose;
  if (aspect <= 0 || width <= 0 || height <= 0) return pose;
  pose.h = std::min(height, width / aspect);
  pose.cx = x0 + width * 0.5;
  pose.cy = y0 + height * 0.5;
  return pose;
}

bool Framing::crosses(const std::vector<Body>& bodies, double x, double width) {
  for (const Body& b : bodies) {
    const double length = b.x1 - b.x0;
    if (length <= 0) continue;
    if (length >= width) return true;
    const double into = wrap(x - b.x0, width);
    if (into > kTouch && into < length - kTouch) return true;
  }
  return false;
}

double Framing::seamIn(const std::vector<Body>& bodies, double width, double preferred) {
  if (width <= 0 || !crosses(bodies, preferred, width)) return preferred;
  std::vector<Span> spans;
  spans.reserve(bodies.size());
  for (const Body& b : bodies) {
    if (b.x1 > b.x0) spans.push_back({b.x0, b.x1 - b.x0});
  }
  const Span covered = cover(spans, width, true);
  if (covered.length >= width) return preferred;
  return wrap(covered.end() + (width - covered.length) * 0.5, width);
}

double Framing::bandCentre(const std::vector<Body>& cores, double height, double frameHeight,
                           double preferred) {
  const double half = height * 0.5;
  if (height >= frameHeight) return frameHeight * 0.5;
  const auto inside = [&](double cy) { return std::clamp(cy, half, frameHeight - half); };
  const auto leftOut = [&](double cy) {
    double worst = 0;
    for (const Body& b : cores) {
      const double out = std::max(0.0, cy - half - b.y0) + std::max(0.0, b.y1 - cy - half);
      worst = std::max(worst, std::min(out, b.y1 - b.y0));
    }
    return worst <= kTouch ? 0.0 : worst;
  };
  double best = inside(preferred);
  double bestOut = leftOut(best);
  if (bestOut == 0) return best;
  for (const Body& b : cores) {
    for (const double cy : {inside(b.y0 + half), inside(b.y1 - half)}) {
      const double out = leftOut(cy);
      if (out < bestOut - 1e-9 ||
          (out < bestOut + 1e-9 && std::fabs(cy - preferred) < std::fabs(best - preferred))) {
        best = cy;
        bestOut = out;
      }
    }
  }
  return best;
}

bool Framing::halves(const std::vector<Body>& bodies, double width, double preferred,
                     double shortest, double longest, double& first, double& second) {
  first = preferred;
  second = preferred + width * 0.5;
  if (width <= 0) return false;
  const double half = width * 0.5;
  // Clearance worth having beside a seam; beyond it halves nearer even are worth more.
  const double enough = width / 40.0;
  const auto clearOf = [&](double x) {
    double d = kFar;
    for (const Body& b : bodies) {
      const double length = b.x1 - b.x0;
      if (length <= 0) continue;
      if (length >= width) return -1.0;
      const double into = wrap(x - b.x0, width);
      if (into > kTouch && into < length - kTouch) return -1.0;
      d = std::min({d, std::max(0.0, into - length), width - into});
    }
    return d;
  };
  if (std::min(clearOf(first), clearOf(second)) >= enough) return true;
  // The gaps between the bodies, from the end of one cover to the start of the next.
  std::vector<Span> spans;
  spans.reserve(bodies.size());
  for (const Body& b : bodies) {
    if (b.x1 > b.x0) spans.push_back({wrap(b.x0, width), std::min(b.x1 - b.x0, width)});
  }
  if (spans.empty()) return true;
  std::sort(spans.begin(), spans.end(),
            [](const Span& a, const Span& b) { return a.start < b.start; });
  std::vector<Span> gaps;
  double reach = spans[0].end();
  for (size_t i = 1; i < spans.size(); ++i) {
    if (spans[i].start > reach) gaps.push_back({reach, spans[i].start - reach});
    reach = std::max(reach, spans[i].end());
  }
  if (spans[0].start + width > reach) gaps.push_back({reach, spans[0].start + width - reach});
  if (gaps.empty()) return false;
  bool found = false;
  double bestClear = 0, bestOff = 0, bestShift = 0;
  for (size_t i = 0; i < gaps.size(); ++i) {
    const double a1 = gaps[i].start;
    const double b1 = gaps[i].end();
    for (size_t j = 0; j < gaps.size(); ++j) {
      // The second seam lies after the first, within a turn.
      double a2 = gaps[j].start;
      if (j < i) a2 += width;
      const double b2 = a2 + gaps[j].length;
      double c = std::min({(b1 - a1) * 0.5, (b2 - a2) * 0.5, (longest - (a2 - b1)) * 0.5,
                           ((b2 - a1) - shortest) * 0.5});
      if (j == i) c = std::min(c, ((b1 - a1) - shortest) * 0.5);
      if (c < 0) continue;
      c = std::min(c, enough);
      const double lmin = std::max(shortest, a2 - b1 + 2 * c);
      const double lmax = std::min(longest, b2 - a1 - 2 * c);
      if (lmin > lmax + 1e-9) continue;
      const double length = std::clamp(half, lmin, lmax);
      const double s0 = std::max(a1 + c, a2 + c - length);
      const double s1 = std::min(b1 - c, b2 - c - length);
      if (s0 > s1 + 1e-9) continue;
      const double start = std::clamp(preferred, s0, std::max(s0, s1));
      const double off = std::fabs(length - half);
      const double shift = std::fabs(delta(preferred, start, width, true));
      const bool better = !found || c > bestClear + 1e-9 ||
                          (c > bestClear - 1e-9 &&
                           (off < bestOff - 1e-9 || (off < bestOff + 1e-9 && shift < bestShift)));
      if (better) {
        found = true;
        bestClear = c;
        bestOff = off;
        bestShift = shift;
        first = wrap(start, width);
        second = first + length;
      }
    }
  }
  if (!found) {
    first = preferred;
    second = preferred + half;
  }
  return found;
}

CropPose Framing::fence(const CropPose& pose, double aspect, const FramingLimits& limits,
                        const std::vector<Body>& bodies, bool onlyMembers, FenceScratch& scratch,
                        bool cutAtSides) {
  std::vector<Cluster>& clusters = scratch.clusters;
  const double W = limits.width;
  const double H = limits.height;
  if (aspect <= 0 || W <= 0 || H <= 0 || pose.h <= 0 || bodies.empty()) return pose;
  const double c = pose.cx;
  const double w0 = pose.h * aspect;
  const double wmax = std::min(H * aspect, W);
  const double reach = wmax + kRoom;
  // A column at its turn nearest the crop's centre (called for every body: no fmod for the
  // columns of a frame or two away).
  const auto nearest = [&](double x) {
    double d = x - c;
    if (std::fabs(d) > 4 * W) return c + delta(c, x, W, true);
    while (d > W * 0.5) d -= W;
    while (d < -W * 0.5) d += W;
    return c + d;
  };

  // Most crops cut nobody: seen at once from the bodies themselves, and then kept exactly.
  const auto clear = [&](const std::vector<Body>& bodies) {
    const double left = c - w0 * 0.5;
    const double right = c + w0 * 0.5;
    const double top = pose.cy - pose.h * 0.5;
    const double bottom = pose.cy + pose.h * 0.5;
    bool fine = true;
    for (size_t i = 0; fine && i < bodies.size(); ++i) {
      const Body& b = bodies[i];
      const double length = b.x1 - b.x0;
      if (length <= 0) continue;
      double x0 = b.x0;
      if (limits.circular) x0 = nearest(b.x0 + length * 0.5) - length * 0.5;
      for (int turn = limits.circular ? -1 : 0; fine && turn <= (limits.circular ? 1 : 0); ++turn) {
        const double a = x0 + turn * W;
        const double z = a + length;
        if (z <= left + kTouch || a >= right - kTouch) {
          if (b.member && turn == 0) fine = false;  // a member outside
          continue;
        }
        const bool in = a >= left - kTouch && z <= right + kTouch;
        if (!in || (onlyMembers && !(b.member && turn == 0))) fine = false;
        if (in && (std::max(b.y0, 0.0) < top - kTouch || std::min(b.y1, H) > bottom + kTouch)) {
          fine = false;
        }
      }
    }
    return fine;
  };

  double bestCost = kFar;
  double bestL = 0, bestR = 0, bestTop = 0, bestBottom = 0;
  // The cheapest crop whose edges cross none of these bodies; false when there is none.
  size_t n = 0;
  const auto search = [&](const std::vector<Body>& bodies) {
    bestCost = kFar;
    // The bodies within reach of the crop, on the circle at the turn nearest its centre and one
    // turn either side (a copy of a member counts as somebody else), merged where they overlap.
    clusters.clear();
    for (const Body& b : bodies) {
      const double length = b.x1 - b.x0;
      if (length <= 0) continue;
      double x0 = b.x0;
      if (limits.circular) x0 = nearest(b.x0 + length * 0.5) - length * 0.5;
      const double y0 = std::clamp(b.y0, 0.0, H);
      const double y1 = std::clamp(b.y1, y0, H);
      for (int turn = limits.circular ? -1 : 0; turn <= (limits.circular ? 1 : 0); ++turn) {
        double a = x0 + turn * W;
        double z = a + length;
        if (!limits.circular) {
          a = std::max(a, 0.0);
          z = std::min(z, W);
        }
        if (z < c - reach || a > c + reach || z <= a) continue;
        const bool member = b.member && turn == 0;
        clusters.push_back({a, z, y0, y1, member, !member});
      }
    }
    if (clusters.empty()) return false;
    std::sort(clusters.begin(), clusters.end(), [](const Cluster& p, const Cluster& q) {
      return p.x0 < q.x0 || (p.x0 == q.x0 && p.x1 < q.x1);
    });
    n = 0;
    for (size_t i = 1; i < clusters.size(); ++i) {
      Cluster& last = clusters[n];
      const Cluster& next = clusters[i];
      if (next.x0 < last.x1) {
        last.x1 = std::max(last.x1, next.x1);
        last.y0 = std::min(last.y0, next.y0);
        last.y1 = std::max(last.y1, next.y1);
        last.member = last.member || next.member;
        last.other = last.other || next.other;
      } else {
        clusters[++n] = next;
      }
    }
    clusters.resize(n + 1);
    n = clusters.size();

    // What must be inside: every member's cluster and all between them. Somebody else touching a
    // member cannot be kept out.
    double r0 = kFar;
    double r1 = -kFar;
    for (const Cluster& k : clusters) {
      if (!k.member) continue;
      if (onlyMembers && k.other) return false;
      r0 = std::min(r0, k.x0);
      r1 = std::max(r1, k.x1);
    }
    // Members packed wider than any crop can be: nothing to be done.
    if (r0 > r1 || r1 - r0 > wmax) return false;
    // What must stay outside: the nearest others either side of the members.
    double lo = limits.circular ? -kFar : 0.0;
    double hi = limits.circular ? kFar : W;
    if (onlyMembers) {
      for (const Cluster& k : clusters) {
        if (k.member) continue;
        if (k.x1 <= r0) lo = std::max(lo, k.x1);
        if (k.x0 >= r1) hi = std::min(hi, k.x0);
      }
    }

    // Gap g lies before cluster g (gap n after the last one); an edge placed in it keeps some room
    // from the people either side, or takes the middle of a narrow gap. The frame's own edges on a
    // 180-degree camera need no room.
    const auto rawStart = [&](size_t g) { return g == 0 ? -kFar : clusters[g - 1].x1; };
    const auto rawEnd = [&](size_t g) { return g == n ? kFar : clusters[g].x0; };
    double edgeRoom = kRoom;  // set by the search below
    const auto gap = [&](size_t g, double& from, double& to) {
      const double a = rawStart(g);
      const double z = rawEnd(g);
      from = g == 0 ? a : a + edgeRoom;
      to = g == n ? z : z - edgeRoom;
      if (!limits.circular) {
        from = std::min(from, std::max(a, W));
        to = std::max(to, std::min(z, 0.0));
      }
      if (from > to) from = to = (a + z) * 0.5;
    };

    // For a pair of gaps, in width w and middle m: the cost is the width's price plus the slide
    // to the nearest middle the gaps allow at that width; convex and piecewise linear in w, so its
    // minimum lies at one of its breakpoints or at an end of the widths allowed.
    const auto solve = [&](double l0, double l1, double q0, double q1, double wlo, double top,
                           double bottom) {
      const double from = std::max(wlo, q0 - l1);
      const double to = std::min(wmax, q1 - l0);
      if (from > to + 1e-9) return false;
      const double candidates[] = {from,         to,           w0,           q0 - l0,     q1 - l1,
                                   2 * (c - l0), 2 * (q0 - c), 2 * (c - l1), 2 * (q1 - c)};
      for (double w : candidates) {
        w = std::clamp(w, from, std::max(from, to));
        const double a = std::max(l0 + w * 0.5, q0 - w * 0.5);
        const double b = std::min(l1 + w * 0.5, q1 - w * 0.5);
        const double m = std::clamp(c, a, std::max(a, b));
        const double cost = kWidenCost * std::max(0.0, w - w0) +
                            kNarrowCost * std::max(0.0, w0 - w) + kShiftCost * std::fabs(m - c);
        if (cost < bestCost - 1e-9) {
          bestCost = cost;
          bestL = std::clamp(m - w * 0.5, l0, l1);
          bestR = std::clamp(m + w * 0.5, q0, q1);
          bestTop = top;
          bestBottom = bottom;
        }
      }
      return true;
    };
    const double minW = std::min(limits.minHeight * aspect, wmax);
    // Strictness eases step by step until a crop is found: room beside the edges and above and
    // below the people; then the room the widest crop has to spare round its members, shared
    // between its two sides (an edge right against someone on one side while the other side
    // keeps room would graze them); then edges right against them and no room; then smaller
    // than the smallest shot, when that is the only way to cut nobody.
    enum class Height { Roomy, Tight, Bare };
    struct Level {
      double room;
      Height height;
    };
    const double spare = std::clamp((wmax - (r1 - r0)) * 0.5, 0.0, kRoom);
    const Level levels[] = {
        {kRoom, Height::Roomy}, {spare, Height::Tight}, {0, Height::Tight}, {0, Height::Bare}};
    for (const Level& level : levels) {
      if (bestCost < kFar) break;
      edgeRoom = level.room;
      // Left gaps nearest the members first: the cheap crops are found early and the search
      // skips every pair that cannot beat them.
      for (size_t k = 0; k <= n; ++k) {
        const size_t i = n - k;
        double from, to;
        gap(i, from, to);
        const double l0 = std::max({from, lo, r1 - wmax});
        const double l1 = std::min(to, r0);
        if (l0 > l1) continue;
        // Gaps further left only make the crop wider.
        if (kWidenCost * std::max(0.0, r1 - l1 - w0) >= bestCost - 1e-9) break;
        double top = kFar;
        double bottom = -kFar;
        for (size_t j = i + 1; j <= n; ++j) {
          top = std::min(top, clusters[j - 1].y0);
          bottom = std::max(bottom, clusters[j - 1].y1);
          gap(j, from, to);
          const double q0 = std::max(from, r1);
          const double q1 = std::min(to, hi);
          if (q0 - l1 > wmax || kWidenCost * std::max(0.0, q0 - l1 - w0) >= bestCost - 1e-9) break;
          if (q0 > q1) continue;
          // Everyone inside fits the height.
          const double bare = (bottom - top) * aspect;
          if (bare > wmax) break;
          double wlo = bare;
          if (level.height != Height::Bare) wlo = std::max(wlo, minW);
          if (level.height == Height::Roomy)
            wlo = std::max(wlo, (bottom - top + 2 * kRoom) * aspect);
          if (wlo > wmax) continue;
          const double narrowest = std::max(q0 - l1, wlo);
          const double widest = std::min(q1 - l0, wmax);
          const double mid0 = (l0 + q0) * 0.5;
          const double mid1 = (l1 + q1) * 0.5;
          const double bound = kWidenCost * std::max(0.0, narrowest - w0) +
                               kNarrowCost * std::max(0.0, w0 - widest) +
                               kShiftCost * std::max({0.0, mid0 - c, c - mid1});
          if (bound >= bestCost - 1e-9) continue;
          solve(l0, l1, q0, q1, wlo, top, bottom);
        }
      }
    }
    return bestCost < kFar;
  };
  if (clear(bodies)) return pose;
  bool found = search(bodies);
  const std::vector<Body>* packed = &bodies;
  if (!found) {
    // People sit too close to keep their boxes whole: their cores at least stay whole.
    std::vector<Body>& cores = scratch.cores;
    cores.clear();
    bool anyCore = false;
    for (const Body& b : bodies) {
      cores.push_back(b.core());
      anyCore = anyCore || b.hasCore();
    }
    if (anyCore) {
      if (clear(cores)) return pose;
      found = search(cores);
      packed = &cores;
    }
  }
  if (!found && !cutAtSides) return pose;
  if (!found) {
    const std::vector<Body>& people = *packed;
    // No edge can pass clear of everybody (the people beside the members are packed too wide to
    // take in and too close to leave out): the edges go where they run least deep into anyone,
    // near the side of a box rather than through its middle, where the face is.
    const auto startOf = [&](const Body& b) {
      const double length = b.x1 - b.x0;
      return limits.circular ? nearest(b.x0 + length * 0.5) - length * 0.5 : b.x0;
    };
    const auto depth = [&](double x) {
      double d = 0;
      for (const Body& b : people) {
        const double length = b.x1 - b.x0;
        if (length <= 0) continue;
        const double x0 = startOf(b);
        for (int turn = limits.circular ? -1 : 0; turn <= (limits.circular ? 1 : 0); ++turn) {
          const double a = x0 + turn * W;
          if (x > a + kTouch && x < a + length - kTouch) {
            d = std::max(d, std::min(x - a, a + length - x));
          }
        }
      }
      return d;
    };
    double m0 = kFar, m1 = -kFar, top = kFar, bottom = -kFar;
    std::vector<double>& stops = scratch.stops;
    stops.assign({c - w0 * 0.5, c + w0 * 0.5});
    for (const Cluster& k : clusters) {
      stops.push_back(k.x0);
      stops.push_back(k.x1);
      if (!k.member) continue;
      m0 = std::min(m0, k.x0);
      m1 = std::max(m1, k.x1);
      top = std::min(top, k.y0);
      bottom = std::max(bottom, k.y1);
    }
    // Where two boxes overlap, the column as deep into one as into the other.
    for (const Body& p : people) {
      const double pa = startOf(p);
      const double pz = pa + (p.x1 - p.x0);
      stops.push_back(pa);
      stops.push_back(pz);
      for (const Body& q : people) {
        const double qa = startOf(q);
        if (pa < qa && qa < pz) stops.push_back((qa + pz) * 0.5);
      }
    }
    std::sort(stops.begin(), stops.end());
    stops.erase(std::unique(stops.begin(), stops.end()), stops.end());
    std::vector<double>& depths = scratch.depths;
    depths.assign(stops.size(), 0.0);
    for (size_t i = 0; i < stops.size(); ++i) depths[i] = depth(stops[i]);
    const double wlo = std::max(m1 - m0, (bottom - top) * aspect);
    const double xmin = limits.circular ? -kFar : 0.0;
    const double xmax = limits.circular ? kFar : W;
    bool found = false;
    double best = 0;
    for (size_t i = 0; i < stops.size(); ++i) {
      const double l = stops[i];
      if (l > m0 || l < xmin) continue;
      for (size_t j = i + 1; j < stops.size(); ++j) {
        const double r = stops[j];
        const double w = r - l;
        if (r < m1 || r > xmax || w < wlo - 1e-9 || w > wmax + 1e-9) continue;
        const double cost =
            1e6 * std::max(depths[i], depths[j]) + kWidenCost * std::max(0.0, w - w0) +
            kNarrowCost * std::max(0.0, w0 - w) + kShiftCost * std::fabs((l + r) * 0.5 - c);
        if (!found || cost < best) {
          found = true;
          best = cost;
          bestL = l;
          bestR = r;
          bestTop = top;
          bestBottom = bottom;
        }
      }
    }
    if (!found) return pose;
  }
  CropPose out;
  out.h = std::min((bestR - bestL) / aspect, H);
  out.cx = (bestL + bestR) * 0.5;
  if (limits.circular) out.cx = wrap(out.cx, W);
  const double half = out.h * 0.5;
  const double room = out.h >= bestBottom - bestTop + 2 * kRoom ? kRoom : 0.0;
  out.cy = std::clamp(pose.cy, bestBottom + room - half, bestTop - room + half);
  out.cy = std::clamp(out.cy, half, H - half);
  return out;
}

}  // namespace selvo
