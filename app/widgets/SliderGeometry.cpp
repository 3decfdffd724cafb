#include "widgets/SliderGeometry.h"

#include <algorithm>
#include <cmath>

namespace corvane {

namespace {
constexpr double kBarBand = 5.0;
constexpr double kBarInset = 8.0;
}  // namespace

double SliderGeometry::clampLineHeight(double lineHeight) {
  if (std::isnan(lineHeight)) return 2.0;
  return std::clamp(lineHeight, 2.0, 5.0);
}

double SliderGeometry::fraction(double value, double minimum, double maximum) {
  const double range = maximum - minimum;
  if (!(range > 0) || !std::isfinite(range)) return 0.0;
  const double f = (value - minimum) / range;
  if (std::isnan(f)) return 0.0;
  return std::clamp(f, 0.0, 1.0);
}

SliderGeometry::Bar SliderGeometry::bar(double lineHeight, const QRectF& band, double controlWidth,
                                        double value, double minimum, double maximum) {
  Bar b;
  b.lineHeight = clampLineHeight(lineHeight);
  const double h = b.lineHeight;
  const double top = h < kBarBand ? band.y() + (kBarBand - h) / 2 : band.y();
  const double fillWidth =
      std::max(0.0, controlWidth - kBarInset) * fraction(value, minimum, maximum);
  b.track = QRectF(band.x(), top, band.width(), h);
  b.fill = QRectF(band.x(), top, fillWidth, h);
  return b;
}

QRectF SliderGeometry::track(double width, double height, const QSizeF& thumbSize,
                             double trackHeight) {
  return QRectF(thumbSize.height() / 2, (height - trackHeight) / 2,
                std::max(0.0, width - thumbSize.width()), trackHeight);
}

std::vector<double> SliderGeometry::tickCentres(int itemCount, const QRectF& track) {
  std::vector<double> centres;
  if (itemCount < 1) return centres;
  centres.reserve(static_cast<size_t>(itemCount) + 1);
  for (int i = 0; i <= itemCount; ++i)
    centres.push_back(i * (track.width() / itemCount) + track.x());
  return centres;
}

double SliderGeometry::clampThumbCentre(double x, double thumbHeight, double trackWidth) {
  const double low = thumbHeight / 2;
  if (std::isnan(x)) return low;
  return std::clamp(x, low, low + std::max(0.0, trackWidth));
}

QRectF SliderGeometry::fill(CustomSliderType type, double x, const QRectF& track,
                            double thumbHeight, double itemWidth) {
  const double left = thumbHeight / 2;
  if (type == CustomSliderType::Normal) return QRectF(left, track.y(), x, track.height());
  const double middle = track.width() / 2 + left;
  if (x <= middle) return QRectF(x - itemWidth, track.y(), middle - x, track.height());
  return QRectF(middle, track.y(), x - middle, track.height());
}

float SliderGeometry::position(double thumbMinX, double trackWidth) {
  if (!(trackWidth > 0)) return 0.0f;
  return static_cast<float>(std::clamp(thumbMinX / trackWidth, 0.0, 1.0));
}

}  // namespace corvane
