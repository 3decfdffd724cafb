#pragma once

namespace orlith {

// A rectangle of four doubles: origin x, origin y (y downwards), width, height.
struct DoubleRect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;

  bool operator==(const DoubleRect&) const = default;
};

}  // namespace orlith
