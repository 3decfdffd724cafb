#pragma once

#include <string>

namespace corvane {

// The one line told when frames of a size are drawn far below the rate the source brings them,
// saying which of the two it is: a picture too large to draw even at a video's ordinary rate,
// or a source faster than the pictures can be drawn.
class DrawRateNote {
 public:
  // A size drawn at this rate or above keeps a picture that moves smoothly: what is lost is the
  // source's extra speed, not the picture's size.
  static constexpr double kSmoothRate = 24;

  // `drawn` and `coming` are frames a second: those drawn, and those the source brought.
  static std::string text(int width, int height, double drawn, double coming);
};

}  // namespace corvane
