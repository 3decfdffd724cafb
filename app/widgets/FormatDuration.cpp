#include "widgets/FormatDuration.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace corvane {

QString formatDuration(float seconds) {
  const QString unknown = QStringLiteral("--:--:--");
  // 2^63 is the first float outside int64; converting it would be undefined.
  if (!std::isfinite(seconds) || seconds < 0 || seconds >= 9.2233720368547758e18f) return unknown;
  const auto t = static_cast<int64_t>(seconds);
  char text[48];
  std::snprintf(text, sizeof text, "%.2" PRId64 ":%.2" PRId64 ":%.2" PRId64, t / 3600,
                (t / 60) % 60, t % 60);
  return QString::fromLatin1(text);
}

}  // namespace corvane
