#pragma once

#include <cstdint>

#include "DoubleRect.h"
#include "SelvoValue.h"

namespace orlith {

// A rectangle with an identifier, in camera-frame pixels. Its dictionary form ("rect",
// "rect_id") is how it travels inside a SelvoRoiPair's dictionary.
class SelvoRect {
 public:
  SelvoRect() = default;
  // Takes what it can use of the dictionary; anything missing or ill-typed stays at zero.
  explicit SelvoRect(const SelvoDictionary& data);

  SelvoDictionary dictionary() const;

  bool operator==(const SelvoRect&) const = default;

  DoubleRect rect;
  int64_t rect_id = 0;
};

}  // namespace orlith
