#pragma once

#include <string>
#include <vector>

#include "config/FocusRect.h"

namespace corvane {

class LogManager;

// A quadrilateral by its four corners in normalised picture coordinates, each meant to lie in
// [0, 1]: corner 1 is the origin, corner 2 along the x axis, corner 3 opposite, corner 4 along y.
// The checked constructors log a Debug line for every coordinate out of range and keep it.
struct RectPoint {
  double x1 = 0, y1 = 0;
  double x2 = 0, y2 = 0;
  double x3 = 0, y3 = 0;
  double x4 = 0, y4 = 0;

  RectPoint() = default;
  // Corners (x, y), (x + w, y), (x + w, y + h), (x, y + h).
  explicit RectPoint(const FocusRect& rect);
  RectPoint(const FocusRect& rect, LogManager& logger);
  RectPoint(double x1, double y1, double x2, double y2, double x3, double y3, double x4, double y4);
  RectPoint(double x1, double y1, double x2, double y2, double x3, double y3, double x4, double y4,
            LogManager& logger);

  // The same eight values, unchecked.
  RectPoint copy() const { return *this; }

  // One message per coordinate outside [0, 1], in the order x1, y1, ..., y4; NaN is not out.
  std::vector<std::string> rangeFaults() const;
  void _validate(LogManager& logger) const;

  bool operator==(const RectPoint&) const = default;
};

}  // namespace corvane
