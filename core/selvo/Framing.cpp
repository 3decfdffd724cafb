#include "Framing.h"

#include <algorithm>
#include <cmath>

namespace selvo {

namespace {

// The subject fills two thirds of the shot's height, its centre at 45 % from the top.
constexpr double kHeightFactor = 1.5;
constexpr double kWidthFactor = 1.2;
constexpr double kCentreBelowMiddle = 0.05;

}  // namespace

double Framing::wrap(double x, double width) {
  if (width <= 0) return x;
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
  const double spanW = std::max(0.0, x1 - x0) * kWidthFactor + 2.0 * limits.marginX;
  const double spanH = std::max(0.0, y1 - y0);
  pose.h = std::max({spanH * kHeightFactor, spanW / aspect, limits.minHeight, 1.0});
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

}  // namespace selvo
