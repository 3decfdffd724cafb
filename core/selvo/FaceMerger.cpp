#include "FaceMerger.h"

#include <algorithm>
#include <cmath>

namespace selvo {

namespace {
float iou(const rect& a, const rect& b, float shift) {
  float ax = a.x + shift;
  float x1 = std::max(ax, b.x), y1 = std::max(a.y, b.y);
  float x2 = std::min(ax + a.width, b.x + b.width), y2 = std::min(a.y + a.height, b.y + b.height);
  float inter = std::max(0.0f, x2 - x1) * std::max(0.0f, y2 - y1);
  float uni = a.width * a.height + b.width * b.height - inter;
  return uni > 0 ? inter / uni : 0.0f;
}

// The shift (0 or one turn either way) that brings a closest to b.
float nearestShift(const rect& a, const rect& b, float wrapWidth) {
  if (wrapWidth <= 0) return 0;
  float d = (b.x + b.width / 2) - (a.x + a.width / 2);
  return std::round(d / wrapWidth) * wrapWidth;
}
}  // namespace

float FaceMerger::Overlap(const rect& a, const rect& b, float wrapWidth) {
  return iou(a, b, nearestShift(a, b, wrapWidth));
}

float FaceMerger::Covered(const rect& a, const rect& b, float wrapWidth) {
  float ax = a.x + nearestShift(a, b, wrapWidth);
  float x1 = std::max(ax, b.x), y1 = std::max(a.y, b.y);
  float x2 = std::min(ax + a.width, b.x + b.width), y2 = std::min(a.y + a.height, b.y + b.height);
  float inter = std::max(0.0f, x2 - x1) * std::max(0.0f, y2 - y1);
  float smaller = std::min(a.width * a.height, b.width * b.height);
  return smaller > 0 ? inter / smaller : 0.0f;
}

std::vector<rect> FaceMerger::Merge(std::vector<rect> faces, float threshold, float wrapWidth) {
  const auto better = [](const rect& a, const rect& b) { return a.score > b.score; };
  if (faces.size() > kMaxBoxes) {
    std::nth_element(faces.begin(), faces.begin() + kMaxBoxes, faces.end(), better);
    faces.resize(kMaxBoxes);
  }
  std::sort(faces.begin(), faces.end(), better);
  std::vector<rect> merged;
  std::vector<bool> used(faces.size(), false);
  for (size_t i = 0; i < faces.size(); ++i) {
    if (used[i]) continue;
    const rect& best = faces[i];
    double sw = 0, sx = 0, sy = 0, sr = 0, sb = 0;
    for (size_t j = i; j < faces.size(); ++j) {
      if (used[j]) continue;
      float shift = nearestShift(faces[j], best, wrapWidth);
      if (j != i && iou(faces[j], best, shift) <= threshold) continue;
      used[j] = true;
      const rect& f = faces[j];
      double w = f.score;
      sw += w;
      sx += w * (f.x + shift);
      sy += w * f.y;
      sr += w * (f.x + shift + f.width);
      sb += w * (f.y + f.height);
    }
    rect out;
    out.x = float(sx / sw);
    out.y = float(sy / sw);
    out.width = float(sr / sw) - out.x;
    out.height = float(sb / sw) - out.y;
    out.score = best.score;
    if (wrapWidth > 0) {
      out.x = std::fmod(out.x, wrapWidth);
      if (out.x < 0) out.x += wrapWidth;
    }
    merged.push_back(out);
  }
  return merged;
}

}  // namespace selvo
