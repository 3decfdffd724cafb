#include "SelvoRect.h"

namespace orlith {

SelvoRect::SelvoRect(const SelvoDictionary& data) {
  if (data.empty()) return;
  if (auto it = data.find("rect"); it != data.end()) {
    if (auto r = it->second.toRect()) rect = *r;
  }
  if (auto it = data.find("rect_id"); it != data.end()) {
    if (auto id = it->second.toInt()) rect_id = *id;
  }
}

SelvoDictionary SelvoRect::dictionary() const {
  return SelvoDictionary{{"rect", SelvoValue(rect)}, {"rect_id", SelvoValue(rect_id)}};
}

}  // namespace orlith
