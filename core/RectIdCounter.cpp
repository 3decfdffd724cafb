#include "RectIdCounter.h"

#include <climits>

namespace orlith {

RectIdCounter& RectIdCounter::shared() {
  static RectIdCounter counter;
  return counter;
}

int RectIdCounter::next(const std::function<bool(int)>& inUse) {
  int last = last_.load();
  for (;;) {
    int candidate = last >= INT_MAX || last < 0 ? 1 : last + 1;
    if (!last_.compare_exchange_weak(last, candidate)) continue;  // `last` reloaded
    if (!inUse || !inUse(candidate)) return candidate;
    last = candidate;
  }
}

void RectIdCounter::setLast(int last) { last_.store(last < 0 ? 0 : last); }

}  // namespace orlith
