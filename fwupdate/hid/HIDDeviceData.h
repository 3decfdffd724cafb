#pragma once

#include <optional>

namespace qd4718 {

// One entry of the driver's matching list: a device is taken when its ids, and the usage page
// and usage where given, are these.
struct HIDDeviceData {
  int vendorId = 0;
  int productId = 0;
  std::optional<int> usagePage;
  std::optional<int> usage;
};

}  // namespace qd4718
