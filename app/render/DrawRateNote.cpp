#include "render/DrawRateNote.h"

#include <cstdio>

namespace corvane {

std::string DrawRateNote::text(int width, int height, double drawn, double coming) {
  const char* why = drawn >= kSmoothRate ? "the source brings more frames than can be drawn"
                                         : "the picture is too large to draw at the source's rate";
  char line[240];
  std::snprintf(line, sizeof line,
                "Frames of %d x %d come at %.0f frames per second and are drawn at %.0f: %s, the "
                "frames between are dropped",
                width, height, coming, drawn, why);
  return line;
}

}  // namespace corvane
