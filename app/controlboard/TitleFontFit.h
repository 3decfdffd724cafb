#pragma once

#include <QString>
#include <functional>

namespace corvane {

// One font size for two button titles: the longer title (by characters) is shrunk a point at a
// time until it fits the width, and the other title takes the same size.
class TitleFontFit {
 public:
  // The width a text takes at a point size.
  using Measure = std::function<double(const QString& text, double pointSize)>;

  static constexpr double kDefaultPointSize = 12.0;
  static constexpr double kMargin = 10.0;

  // Whether the track title decides: when the detect title has fewer characters.
  static bool trackTitleDecides(const QString& detectTitle, const QString& trackTitle) {
    return detectTitle.size() < trackTitle.size();
  }

  // Shrinks from `start` (12 when not positive) while `title` is wider than `available`; never
  // below one point.
  static double pointSize(const QString& title, double available, double start,
                          const Measure& measure) {
    double size = start > 0 ? start : kDefaultPointSize;
    while (size > 1.0 && measure(title, size) > available) size -= 1.0;
    return size;
  }
};

}  // namespace corvane
