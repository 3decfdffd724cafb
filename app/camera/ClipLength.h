#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace corvane {

// How long a clip plays, from its frames' time stamps in file order. A clip cut together from
// recordings, or whose counter wrapped, has stamps that jump (back, or far ahead): the player
// goes on from the frame after a jump at once (kJumpNs), so the length it plays is the sum of
// the stretches between the jumps, each jump counting as one frame. The container's duration of
// such a clip is the span from its first stamp to its last, which can be days.
class ClipLength {
 public:
  // A stamp further than this after the one before it, or before it, is a jump.
  static constexpr int64_t kJumpNs = 10'000'000'000;

  // The length played, in nanoseconds, when the stamps jump somewhere; none when they run on
  // without a jump (the container's duration holds). `frameNs`: one frame's duration.
  static std::optional<int64_t> withJumps(const std::vector<int64_t>& stamps, int64_t frameNs);

  // How far a stamp that reads as a jump ahead of `from` to `to` really went when the stamps are
  // counted modulo `wrapNs` (a 33-bit 90 kHz counter; 0: none): a jump ahead of more than half
  // the counter's period is the counter going back past its start. Negative: back.
  static int64_t jumpBy(int64_t from, int64_t to, int64_t wrapNs);
};

}  // namespace corvane
