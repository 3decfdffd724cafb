#include "camera/CarriedBoxes.h"

#include <cstdlib>

namespace corvane {

namespace {

AnalysisFacade::IntRect intRect(const orlith::SelvoRect& r) {
  return {int(r.rect.x), int(r.rect.y), int(r.rect.width), int(r.rect.height)};
}

bool samePlace(const AnalysisFacade::IntRect& a, const AnalysisFacade::IntRect& b) {
  // A rectangle stored and read back in doubles may come back a pixel off.
  return std::abs(a.x - b.x) <= 1 && std::abs(a.y - b.y) <= 1 && std::abs(a.width - b.width) <= 1 &&
         std::abs(a.height - b.height) <= 1;
}

}  // namespace

CarriedBoxes CarriedBoxes::take(AnalysisFacade& facade, int width, int height) {
  CarriedBoxes carried;
  carried.taken_ = true;
  carried.width_ = width;
  carried.height_ = height;
  // The boxes the user made or fixed: detected ones that are not pinned come back with the next
  // detection, where the people are by then.
  for (const orlith::SelvoRect& r : facade.GetManualRect())
    if (r.rect.width > 0 && r.rect.height > 0)
      carried.boxes_.push_back({intRect(r), facade.IsRectPinned(r.rect_id)});
  for (const orlith::SelvoRect& r : facade.GetDetectRect())
    if (r.rect.width > 0 && r.rect.height > 0 && facade.IsRectPinned(r.rect_id))
      carried.boxes_.push_back({intRect(r), true});
  const long count = facade.GetIgnoredRectCount();
  for (long i = 0; i < count; ++i) {
    AnalysisFacade::IntRect r = facade.GetIgnoreRect(int(i));
    if (r.width > 0 && r.height > 0) carried.ignoreAreas_.push_back(r);
  }
  return carried;
}

void CarriedBoxes::putInto(AnalysisFacade& facade) const {
  bool anyPinned = false;
  for (const Box& box : boxes_) {
    const auto& r = box.rect;
    facade.AddNewRect(r.x, r.y, r.x + r.width, r.y + r.height);
    anyPinned = anyPinned || box.pinned;
  }
  if (anyPinned) {
    // The new boxes have ids of their own: pinned again where they lie.
    std::vector<orlith::SelvoRect> added = facade.GetManualRect();
    for (const Box& box : boxes_) {
      if (!box.pinned) continue;
      for (const orlith::SelvoRect& r : added)
        if (samePlace(intRect(r), box.rect) && !facade.IsRectPinned(r.rect_id)) {
          facade.PinRect(r.rect_id);
          break;
        }
    }
  }
  if (ignoreAreas_.empty()) return;
  facade.StartIgnoreAreaEditing();
  for (const auto& r : ignoreAreas_) facade.AddNewRect(r.x, r.y, r.x + r.width, r.y + r.height);
  facade.EndIgnoreAreaEditing(true);
}

}  // namespace corvane
