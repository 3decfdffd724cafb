#pragma once

#include <QRectF>
#include <QSizeF>
#include <vector>

#include "widgets/CustomSliderType.h"

namespace corvane {

// The sliders' drawing and drag rules, apart from any widget.
class SliderGeometry {
 public:
  // The bar slider's rounded bar: its thickness, the whole bar and the filled part.
  struct Bar {
    double lineHeight = 0;
    QRectF track;
    QRectF fill;
  };

  static double clampLineHeight(double lineHeight);
  // How far value lies from minimum to maximum, within [0, 1]; 0 for an empty range.
  static double fraction(double value, double minimum, double maximum);
  // band: where the control puts its bar (x, top y, width); the bar is centred in a 5-point
  // band and filled over (controlWidth - 8) x the fraction, never below zero.
  static Bar bar(double lineHeight, const QRectF& band, double controlWidth, double value,
                 double minimum, double maximum);

  // The balance slider's track in a W x Hs slider: from half the thumb's height, as wide as
  // the slider less the thumb's width (never negative), centred vertically.
  static QRectF track(double width, double height, const QSizeF& thumbSize, double trackHeight);
  // Centres of the tick marks: itemCount + 1 of them from the track's left to its right end,
  // none for a count below one.
  static std::vector<double> tickCentres(int itemCount, const QRectF& track);
  // The thumb's centre kept on the track.
  static double clampThumbCentre(double x, double thumbHeight, double trackWidth);
  // The filled part for a thumb centred at (clamped) x.
  static QRectF fill(CustomSliderType type, double x, const QRectF& track, double thumbHeight,
                     double itemWidth);
  // The position a drag reports, from the thumb's left edge: within [0, 1]; 0 without a track.
  static float position(double thumbMinX, double trackWidth);
};

}  // namespace corvane
