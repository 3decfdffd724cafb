#pragma once

#include <optional>
#include <string>
#include <vector>

#include "capture/CaptureDevice.h"
#include "capture/V4l2Api.h"

namespace platform {

// Lists the video capture devices from sysfs: capture-and-streaming nodes only, never metadata
// nodes and never a loopback device (that is the program's own output).
class CaptureDeviceDiscovery {
 public:
  explicit CaptureDeviceDiscovery(V4l2Api& api = V4l2Api::system(), std::string sysRoot = "/sys",
                                  std::string devRoot = "/dev");

  std::vector<CaptureDevice> devices() const;
  // The device of one node ("video0"), if it is a capture device.
  std::optional<CaptureDevice> device(const std::string& nodeName) const;
  // Every pixel format, size and rate the open device offers.
  static std::vector<CaptureFormat> enumerateFormats(V4l2Api& api, int fd);

 private:
  V4l2Api& api_;
  std::string sysRoot_;
  std::string devRoot_;
};

}  // namespace platform
