#pragma once

#include <QLocale>
#include <QString>
#include <optional>

#include "controlboard/FlickerMode.h"

namespace corvane {

// How the effect panel turns values into slider positions and back, free of widgets. Ratios are
// positions along a slider from 0 to 1, rounded up to two decimals.
class PictureControlValues {
 public:
  // A value as shown, and the slider position that shows it.
  struct Shown {
    double value = 0;
    double ratio = 0;

    bool operator==(const Shown&) const = default;
  };

  // Rounds up to two decimals, toward plus infinity for negative values too.
  static double ceil2(double x);
  // Nearest integer, halves away from zero.
  static double roundHalfAway(double x);

  // EV: clamped to the range, rounded up to two decimals.
  static Shown ev(double v, double min, double max);
  // Lighting: a whole number in 0..100.
  static Shown lighting(double v);
  // Noise reduction and gamma: a whole number in the record's range.
  static Shown wholeInRange(double v, double min, double max);

  // The value a slider position stands for while dragging.
  static double evAt(double position, double min, double max);
  static double lightingAt(double position);
  static double rangeAt(double position, double min, double max);

  // The renderer's noise-reduction level for a slider ratio: round(ratio x 6), 0..6.
  static float denoiseLevel(double ratio);

  // The flicker choice of a button tag (10..12), automatic for any other tag.
  static FlickerMode flickerForTag(int tag);
  // A preset's flicker level as a choice; 3 and above, and negatives, are automatic.
  static FlickerMode flickerForLevel(int64_t level);

  // The shortest decimal text of a float ("0.5", "-1.25", "2").
  static QString evText(float value);
  // The text a value field shows: the locale's decimal separator where the value has decimals
  // (EV), a whole number otherwise.
  static QString fieldText(double value, const QLocale& locale, bool decimals);
  // What a value field takes: a number the locale reads, within [min, max], a whole number where
  // the value has no decimals; none for anything else (the field then shows its value again).
  static std::optional<double> readField(const QString& text, const QLocale& locale,
                                         bool decimals, double min, double max);
};

}  // namespace corvane
