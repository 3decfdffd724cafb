#pragma once

#include <QEasingCurve>
#include <QString>

namespace corvane {

// Where a switch's thumb goes. W is the track's width, w the thumb's, x the thumb's left edge.
class SwitchGeometry {
 public:
  // Resting place: the right end when on, the left end when off.
  static double restX(bool on, double trackWidth, double thumbWidth);
  // The thumb moved by hand for a drag of t (from where the drag began): a fraction (gain) of
  // the whole translation per movement, never past either end.
  static double dragX(double t, double x, double thumbWidth, double trackWidth, double gain);
  // The state a thumb at x stands for: on once its centre is at or right of the middle.
  static bool isOnAt(double x, double thumbWidth, double trackWidth);
  // The curve of a timing-function name ("easeIn", "easeOut", "easeInEaseOut", "linear",
  // "default"); an unknown name gives ease-in.
  static QEasingCurve easing(const QString& timingFunction);
};

}  // namespace corvane
