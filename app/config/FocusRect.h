#pragma once

namespace corvane {

// A rectangle by origin and size in normalised picture coordinates; the older rectangle form
// of the custom configuration file.
struct FocusRect {
  double x = 0;
  double y = 0;
  double w = 0;
  double h = 0;
};

}  // namespace corvane
