#include "SamePlace.h"

#include <algorithm>

namespace orlith {

namespace {

float overUnion(const SamePlace::rect& a, const SamePlace::rect& b) {
  if (!(b.x < a.x + a.width && b.y < a.y + a.height && a.x < b.x + b.width &&
        a.y < b.y + b.height)) {
    return 0;
  }
  const float ix = std::min(a.x + a.width, b.x + b.width) - std::max(a.x, b.x);
  const float iy = std::min(a.y + a.height, b.y + b.height) - std::max(a.y, b.y);
  const float inter = ix * iy;
  const float uni = a.width * a.height + b.width * b.height - inter;
  return uni > 0 ? inter / uni : 0;
}

}  // namespace

bool SamePlace::test(const rect& a, const rect& b, float threshold, int width, bool is360) {
  float best = overUnion(a, b);
  if (is360 && width > 0) {
    rect shifted = a;
    shifted.x += float(width);
    best = std::max(best, overUnion(shifted, b));
    shifted.x = a.x - float(width);
    best = std::max(best, overUnion(shifted, b));
  }
  return best > 0 && best >= threshold;
}

std::vector<size_t> SamePlace::distinct(const std::vector<rect>& boxes, float threshold, int width,
                                        bool is360) {
  std::vector<size_t> kept;
  for (size_t i = 0; i < boxes.size(); ++i) {
    const bool twice = std::any_of(kept.begin(), kept.end(), [&](size_t k) {
      return test(boxes[k], boxes[i], threshold, width, is360);
    });
    if (!twice) kept.push_back(i);
  }
  return kept;
}

}  // namespace orlith
