#include "widgets/SwitchGeometry.h"

#include <QPointF>
#include <algorithm>

namespace corvane {

namespace {

double maxX(double trackWidth, double thumbWidth) { return std::max(0.0, trackWidth - thumbWidth); }

QEasingCurve bezier(double x1, double y1, double x2, double y2) {
  QEasingCurve curve(QEasingCurve::BezierSpline);
  curve.addCubicBezierSegment(QPointF(x1, y1), QPointF(x2, y2), QPointF(1, 1));
  return curve;
}

}  // namespace

double SwitchGeometry::restX(bool on, double trackWidth, double thumbWidth) {
  return on ? maxX(trackWidth, thumbWidth) : 0.0;
}

double SwitchGeometry::dragX(double t, double x, double thumbWidth, double trackWidth,
                             double gain) {
  double next;
  if (t >= 0)
    next = x + std::min(t, trackWidth - (thumbWidth + x)) * gain;
  else if (x < -t)
    next = x - x * gain;
  else
    next = x + t * gain;
  // A gain above 1 or a thumb wider than its track would otherwise push it out of the track.
  return std::clamp(next, 0.0, maxX(trackWidth, thumbWidth));
}

bool SwitchGeometry::isOnAt(double x, double thumbWidth, double trackWidth) {
  return x + thumbWidth / 2 >= trackWidth / 2;
}

QEasingCurve SwitchGeometry::easing(const QString& timingFunction) {
  if (timingFunction == QLatin1String("linear")) return QEasingCurve(QEasingCurve::Linear);
  if (timingFunction == QLatin1String("easeOut")) return bezier(0, 0, 0.58, 1);
  if (timingFunction == QLatin1String("easeInEaseOut")) return bezier(0.42, 0, 0.58, 1);
  if (timingFunction == QLatin1String("default")) return bezier(0.25, 0.1, 0.25, 1);
  return bezier(0.42, 0, 1, 1);
}

}  // namespace corvane
