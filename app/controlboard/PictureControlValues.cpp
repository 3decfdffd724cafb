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
  char buffer[32];
  for (int precision = 1; precision <= 9; ++precision) {
    std::snprintf(buffer, sizeof buffer, "%.*g", precision, double(value));
    if (std::strtof(buffer, nullptr) == value) break;
  }
  return QString::fromLatin1(buffer);
}

std::optional<double> PictureControlValues::parseNumber(const QString& text) {
  bool ok = false;
  const double v = text.trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(v)) return std::nullopt;
  return v;
}

}  // namespace corvane
