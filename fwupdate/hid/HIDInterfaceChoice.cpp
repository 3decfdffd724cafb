#include "hid/HIDInterfaceChoice.h"

#include <tuple>

namespace qd4718 {

int HIDInterfaceChoice::rank(uint16_t usagePage) {
  if (usagePage >= 0xFF00) return 0;
  return usagePage == 0 ? 1 : 2;
}

std::vector<HidBackend::DeviceInfo> HIDInterfaceChoice::choose(
    const std::vector<HidBackend::DeviceInfo>& nodes, const std::set<std::string>& inUse) {
  auto sameDevice = [](const HidBackend::DeviceInfo& a, const HidBackend::DeviceInfo& b) {
    return std::tie(a.vendorId, a.productId, a.serialNumber) ==
           std::tie(b.vendorId, b.productId, b.serialNumber);
  };
  auto better = [&inUse](const HidBackend::DeviceInfo& a, const HidBackend::DeviceInfo& b) {
    int ra = rank(a.usagePage), rb = rank(b.usagePage);
    if (ra != rb) return ra < rb;
    return inUse.count(a.path) > inUse.count(b.path);
  };
  std::vector<HidBackend::DeviceInfo> chosen;
  for (const auto& node : nodes) {
    bool placed = false;
    for (auto& best : chosen) {
      if (!sameDevice(best, node)) continue;
      if (better(node, best)) best = node;
      placed = true;
      break;
    }
    if (!placed) chosen.push_back(node);
  }
  return chosen;
}

}  // namespace qd4718
