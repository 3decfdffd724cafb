#include "controlboard/PictureControlValues.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "render/MetalManager.h"

namespace corvane {

namespace {

// A ratio of a range; an empty or inverted range has no extent, so every value sits at 0.
double ratioOf(double value, double min, double max) {
  if (!(max > min)) return 0;
  return PictureControlValues::ceil2((value - min) / (max - min));
}

double clampTo(double v, double min, double max) {
  if (std::isnan(v)) return min;
  return max >= min ? std::clamp(v, min, max) : min;
}

}  // namespace

double PictureControlValues::ceil2(double x) {
  // The product is rounded first so that 0.29 x 100 (28.999999999999996) stays 0.29.
  const double scaled = x * 100.0;
  const double nearest = std::round(scaled);
  const double whole = std::fabs(scaled - nearest) < 1e-9 ? nearest : std::ceil(scaled);
  return whole / 100.0;
}

double PictureControlValues::roundHalfAway(double x) { return std::round(x); }

PictureControlValues::Shown PictureControlValues::ev(double v, double min, double max) {
  const double value = ceil2(clampTo(v, min, max));
  return {std::min(value, std::max(max, min)), ratioOf(value, min, max)};
}

PictureControlValues::Shown PictureControlValues::lighting(double v) {
  const double value = roundHalfAway(clampTo(v, 0, 100));
  return {value, ratioOf(value, 0, 100)};
}

PictureControlValues::Shown PictureControlValues::wholeInRange(double v, double min, double max) {
  const double value = roundHalfAway(clampTo(v, min, max));
  return {value, ratioOf(value, min, max)};
}

double PictureControlValues::evAt(double p, double min, double max) {
  return ceil2((max - min) * p + min);
}

double PictureControlValues::lightingAt(double p) { return ceil2(p * 100.0 + 0.0); }

double PictureControlValues::rangeAt(double p, double min, double max) {
  return ceil2((max - min) * p + min);
}

float PictureControlValues::denoiseLevel(double ratio) { return MetalManager::denoiseLevel(ratio); }

FlickerMode PictureControlValues::flickerForTag(int tag) {
  return flickerModeFromRaw(tag - 10).value_or(FlickerMode::automatic);
}

FlickerMode PictureControlValues::flickerForLevel(int64_t level) {
  return flickerModeFromRaw(level).value_or(FlickerMode::automatic);
}

QString PictureControlValues::evText(float value) {
  // Qt's own formatting: the C library's follows the process locale, which the program sets.
  QString text;
  for (int precision = 1; precision <= 9; ++precision) {
    text = QString::number(double(value), 'g', precision);
    if (text.toFloat() == value) break;
  }
  return text;
}

QString PictureControlValues::fieldText(double value, const QLocale& locale, bool decimals) {
  if (!decimals) return QString::number(qint64(value));
  QString text = evText(float(value));
  text.replace(QLatin1Char('.'), locale.decimalPoint());
  return text;
}

std::optional<double> PictureControlValues::readField(const QString& text, const QLocale& locale,
                                                      bool decimals, double min, double max) {
  QLocale reader = locale;
  // "1.000" is a thousand to some and one to others: a field takes no group separators.
  reader.setNumberOptions(QLocale::RejectGroupSeparator);
  const QString trimmed = text.trimmed();
  bool ok = false;
  double v = 0;
  if (decimals) {
    v = reader.toDouble(trimmed, &ok);
  } else {
    v = double(reader.toLongLong(trimmed, &ok));
  }
  if (!ok || !std::isfinite(v) || v < min || v > max) return std::nullopt;
  return v;
}

}  // namespace corvane
