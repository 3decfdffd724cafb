#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hid/HidConnection.h"

namespace qd4718 {

// The HID layer under the driver: the system's hidraw nodes in the programs, a simulated device
// in tests. Every call comes from the driver's own thread.
class HidBackend {
 public:
  // What enumeration tells of one device node.
  struct DeviceInfo {
    std::string path;  // the node's path, which opens it
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::string serialNumber;
    std::string product;
    uint16_t usagePage = 0;
    uint16_t usage = 0;
  };

  virtual ~HidBackend() = default;
  virtual std::vector<DeviceInfo> enumerate() = 0;
  // nullptr when the node cannot be opened.
  virtual std::unique_ptr<HidConnection> open(const std::string& path) = 0;
};

}  // namespace qd4718
