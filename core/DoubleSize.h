#pragma once

namespace orlith {

// A width and a height in doubles, as the program hands sizes to the facade.
struct DoubleSize {
  double width = 0;
  double height = 0;
};

}  // namespace orlith
