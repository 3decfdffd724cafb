#pragma once

#include <set>
#include <string>
#include <vector>

#include "hid/HidBackend.h"

namespace qd4718 {

// Which node of a device the text protocol is spoken on. hidapi lists every HID interface of a
// USB device on its own, with the device's ids and serial number: a device that carries a
// consumer-control interface (volume keys) beside its vendor-defined one shows twice, and the
// consumer-control interface never answers a command. Among the nodes of one device (the same
// vendor, product and serial number) the one whose usage page is vendor-defined (0xFF00 to
// 0xFFFF) is taken, whatever the listing order; where none says so, one of unknown usage
// (page 0, a backend that cannot tell) before one of a standard page. Ties keep the node in use,
// else the first listed. A device with one node keeps it, whatever its page.
class HIDInterfaceChoice {
 public:
  // The nodes to talk to: one per device, in the order of `nodes`. `inUse`: the paths already
  // open.
  static std::vector<HidBackend::DeviceInfo> choose(
      const std::vector<HidBackend::DeviceInfo>& nodes, const std::set<std::string>& inUse);
  // 0 for a vendor-defined page, 1 for an unknown one, 2 for a standard one: lower is better.
  static int rank(uint16_t usagePage);
};

}  // namespace qd4718
