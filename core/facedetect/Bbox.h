#pragma once

namespace orlith {

// A candidate face box during decoding, in model pixels (then frame pixels).
struct Bbox {
  float x1 = 0;
  float y1 = 0;
  float x2 = 0;
  float y2 = 0;
  float area = 0;
  float score = 0;
};

}  // namespace orlith
