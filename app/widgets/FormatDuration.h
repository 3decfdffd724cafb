#pragma once

#include <QString>

namespace corvane {

// A time in seconds as hours, minutes and seconds, each of at least two digits ("01:02:05",
// "100:00:00"); fractions of a second are dropped. A time that is not a number, infinite,
// negative or beyond the 64-bit range shows as "--:--:--".
QString formatDuration(float seconds);

}  // namespace corvane
