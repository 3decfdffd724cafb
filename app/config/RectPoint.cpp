#include "config/RectPoint.h"

#include "config/LenientJson.h"
#include "log/LogManager.h"

namespace corvane {

RectPoint::RectPoint(const FocusRect& rect) : RectPoint(rect, LogManager::shared()) {}

RectPoint::RectPoint(const FocusRect& rect, LogManager& logger)
    : x1(rect.x),
      y1(rect.y),
      x2(rect.x + rect.w),
      y2(rect.y),
      x3(rect.x + rect.w),
      y3(rect.y + rect.h),
      x4(rect.x),
      y4(rect.y + rect.h) {
  _validate(logger);
}

RectPoint::RectPoint(double x1, double y1, double x2, double y2, double x3, double y3, double x4,
                     double y4)
    : RectPoint(x1, y1, x2, y2, x3, y3, x4, y4, LogManager::shared()) {}

RectPoint::RectPoint(double x1, double y1, double x2, double y2, double x3, double y3, double x4,
                     double y4, LogManager& logger)
    : x1(x1), y1(y1), x2(x2), y2(y2), x3(x3), y3(y3), x4(x4), y4(y4) {
  _validate(logger);
}

std::vector<std::string> RectPoint::rangeFaults() const {
  const std::pair<const char*, double> coordinates[] = {{"x1", x1}, {"y1", y1}, {"x2", x2},
                                                        {"y2", y2}, {"x3", x3}, {"y3", y3},
                                                        {"x4", x4}, {"y4", y4}};
  std::vector<std::string> faults;
  for (const auto& [name, value] : coordinates) {
    if (value < 0.0 || value > 1.0) {
      faults.push_back(std::string(" ") + name + ": " + LenientJson::shortestText(value) +
                       " should be in [0, 1]");
    }
  }
  return faults;
}

void RectPoint::_validate(LogManager& logger) const {
  for (const auto& fault : rangeFaults()) logger.debug(fault, __FILE__, __func__, __LINE__);
}

}  // namespace corvane
