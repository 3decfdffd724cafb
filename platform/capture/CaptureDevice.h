#pragma once

#include <string>
#include <vector>

#include "capture/CaptureFormat.h"

namespace platform {

// A video capture device. uniqueID is the USB device's sysfs path: it stays the same across
// replugs into the same port, unlike /dev/videoN.
struct CaptureDevice {
  std::string uniqueID;
  std::string devicePath;     // /dev/videoN at the time of discovery
  std::string localizedName;  // the USB product name, else the driver's card name
  std::string modelID;        // "UVC Camera VendorID_<n> ProductID_<n>", decimal
  int vendorId = 0;
  int productId = 0;
  std::string driver;
  std::string busInfo;
  std::string usbSysfsPath;   // the USB device folder in sysfs (empty for non-USB devices)
  std::vector<CaptureFormat> formats;

  bool hasVideo() const { return !formats.empty(); }
};

}  // namespace platform
