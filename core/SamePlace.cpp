#include "SamePlace.h"

#include <algorithm>

#include "RectManager.h"

namespace orlith {

// The rectangle manager's measure, so that a layout's boxes and the tracked ones are judged alike.
bool SamePlace::test(const rect& a, const rect& b, float threshold, int width, bool is360) {
  float best = RectManager::overlapRatio(a, b);
  if (is360 && width > 0) {
    rect shifted = a;
    shifted.x += float(width);
    best = std::max(best, RectManager::overlapRatio(shifted, b));
    shifted.x = a.x - float(width);
    best = std::max(best, RectManager::overlapRatio(shifted, b));
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
