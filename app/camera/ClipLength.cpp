#include "camera/ClipLength.h"

namespace corvane {

std::optional<int64_t> ClipLength::withJumps(const std::vector<int64_t>& stamps, int64_t frameNs) {
  if (stamps.size() < 2) return std::nullopt;
  bool jumped = false;
  int64_t length = frameNs;  // the last frame's own
  for (size_t i = 1; i < stamps.size(); ++i) {
    int64_t step = stamps[i] - stamps[i - 1];
    if (step < 0 || step > kJumpNs) {
      jumped = true;
      step = frameNs;
    }
    length += step;
  }
  if (!jumped) return std::nullopt;
  return length;
}

int64_t ClipLength::jumpBy(int64_t from, int64_t to, int64_t wrapNs) {
  int64_t by = to - from;
  if (wrapNs > 0 && by > wrapNs / 2) by -= wrapNs;
  return by;
}

}  // namespace corvane
